// SPDX-License-Identifier: MIT
// A worker script that never calls serve().
self.addEventListener('message', () => {});
