// SPDX-License-Identifier: MIT
// The demo's SQL box runs its queries here, so that a long one never blocks
// the page: the package's worker API serves the page's calls.
import { serve } from './worker.mjs';

serve();
