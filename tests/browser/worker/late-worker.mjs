// SPDX-License-Identifier: MIT
// A worker script that awaits something of its own before it serves.
import { serve } from './worker.mjs';

await new Promise((resolve) => setTimeout(resolve, 1500));
serve();
