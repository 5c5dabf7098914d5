// SPDX-License-Identifier: MIT
import { serve } from './worker.mjs';
serve();
