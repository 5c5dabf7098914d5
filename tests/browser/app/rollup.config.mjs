// SPDX-License-Identifier: MIT
// Rollup for the browser, as docs/browser.md gives it.
import { nodeResolve } from '@rollup/plugin-node-resolve';

export default {
  input: ['page.js', 'worker.js'],
  output: { dir: 'dist', format: 'es' },
  plugins: [nodeResolve({ browser: true })],
};
