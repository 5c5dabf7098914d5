// SPDX-License-Identifier: MIT
import { serve } from 'sqlite-geodesy-wasm/worker';

serve();
