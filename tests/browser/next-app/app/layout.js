// SPDX-License-Identifier: MIT
export default function RootLayout({ children }) {
  return <html lang="en"><body>{children}</body></html>;
}
