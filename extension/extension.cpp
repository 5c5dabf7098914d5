// SPDX-License-Identifier: MIT
// sqlite-geodesy: geodesics on the WGS 84 ellipsoid for SQLite
// (a = 6378137 m, f = 1/298.2572235636655).
//
// Load it into any SQLite host:
//
//     .load ./build/geodesy                                  -- sqlite3 shell
//     SELECT load_extension('./build/geodesy');              -- SQL
//
// Every function takes exactly four numbers; latitudes come before
// longitudes, angles are in degrees and distances in metres. Results are
// REAL. Vincenty's iteration gives sub-millimetre answers except near the
// antipodes, where it may stop after its pass limit without converging.
//
//   distance(lat1, lon1, lat2, lon2)
//       Length of the geodesic from point 1 to point 2, in metres.
//   azimut_start(lat1, lon1, lat2, lon2)
//       Azimuth of that geodesic at point 1, degrees clockwise from north,
//       in [0, 360].
//   azimut_end(lat1, lon1, lat2, lon2)
//       Azimuth at point 2 in the direction of travel (not back towards
//       point 1), degrees in [0, 360].
//   project_lat(lat1, lon1, azimuth, metres)
//       Latitude, in degrees, of the point reached by setting out from
//       point 1 along the azimuth (degrees clockwise from north) and
//       travelling the distance (metres; negative goes backwards).
//   project_lon(lat1, lon1, azimuth, metres)
//       Longitude of that point, in degrees: lon1 plus a difference within
//       ±(180 + 0.0303 per 1000 km travelled), not wrapped into [-180, 180]
//       (so a route east across the antimeridian ends past 180).
//
// Arguments are not checked: each one is read as SQLite converts it to a
// number (text and blobs as the number they start with, NULL as 0, so a
// missing value gives a number, not NULL), and out-of-range latitudes
// or longitudes are used as given. Coincident points give 0 for the first
// three functions.
// A result that is not a number comes back as NULL, as SQLite stores NaN:
// so do infinite arguments, except project_lat's lon1 (ignored) and
// project_lon's lon1 (an infinite result).
//
//     SELECT distance(0, 0, 0, 1);        -- 111319.490793273 (one degree
//                                         --   of the equator)
//     SELECT azimut_start(0, 0, 0, -1);   -- 270.0
//     SELECT project_lon(0, 20, 45, 0);   -- 20.0 (no distance, no move)
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include "extension/functions.h"
#ifdef GEODESY_STATIC_LINK
#include "extension/sqlite3_geodesy.h"  // the declaration programs link against
#endif

#ifdef _WIN32
#include <windows.h>
#define GEODESY_EXPORT __declspec(dllexport)
#else
#define GEODESY_EXPORT __attribute__((visibility("default")))
#endif

// A loadable module exports sqlite3_extension_init, the name SQLite's loader
// looks for. Compiled with -DGEODESY_STATIC_LINK (the build option
// GEODESY_STATIC does) for linking into a program beside SQLite and perhaps
// other extensions, the entry point takes SQLite's conventional unique name
// sqlite3_geodesy_init instead, so that the entry points of several
// extensions do not clash, and there is no DLL entry routine.
#ifdef GEODESY_STATIC_LINK
#define GEODESY_ENTRY_POINT sqlite3_geodesy_init
#else
#define GEODESY_ENTRY_POINT sqlite3_extension_init
#endif

namespace {

struct FunctionEntry {
    const char* name;
    void (*adapter)(sqlite3_context*, int, sqlite3_value**);
};

// Registered in this order, each for exactly four arguments.
constexpr FunctionEntry functions[] = {
    {"distance", distance_func},
    {"azimut_start", azimut_start_func},
    {"azimut_end", azimut_end_func},
    {"project_lat", project_lat_func},
    {"project_lon", project_lon_func},
};

// Stores the host's routine table in sqlite3_api unless it is there already.
//
// Every load in a process normally hands in the same table, while adapters
// on other connections and threads read the pointer with plain loads. So
// the pointer is written only when it changes, and then by one atomic
// compare-and-swap: when several connections load the module at once for
// the first time, one of them stores the table and the others see it
// there, and nobody rewrites a pointer that another thread is reading.
//
// Linked into a program, two different tables do come in: SQLite's own
// from sqlite3_auto_extension, and geodesy_builtin_routines() from a
// direct call with no table. Both reach the one SQLite linked beside us,
// so the first table stored stays and the pointer is written exactly once:
// a program that mixes the two entry points across threads (Go's Auto()
// with a ConnectHook) would otherwise switch it under running adapters.
// Every call still reads it with acquire ordering, so the adapters of its
// connection see the store that another thread made.
void store_routine_table(const sqlite3_api_routines* table) {
#ifdef GEODESY_STATIC_LINK
    constexpr bool keep_first = true;
#else
    constexpr bool keep_first = false;
#endif
#ifdef _WIN32
    auto* slot = reinterpret_cast<void* volatile*>(
        const_cast<sqlite3_api_routines**>(&sqlite3_api));
    void* seen = InterlockedCompareExchangePointer(slot, nullptr, nullptr);  // atomic read
    while (seen != table && !(keep_first && seen != nullptr)) {
        void* before = InterlockedCompareExchangePointer(
            slot, const_cast<sqlite3_api_routines*>(table), seen);
        if (before == seen) break;
        seen = before;
    }
#else
    const sqlite3_api_routines* seen = __atomic_load_n(&sqlite3_api, __ATOMIC_ACQUIRE);
    while (seen != table && !(keep_first && seen != nullptr) &&
           !__atomic_compare_exchange_n(&sqlite3_api, &seen, table, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
    }
#endif
}

}  // namespace

#if defined(_WIN32) && !defined(GEODESY_STATIC_LINK)
// The library has no per-process or per-thread work: every reason succeeds.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

// The only exported symbol (sqlite3_extension_init, or sqlite3_geodesy_init
// when linked statically). Stores the host's routine table, then registers
// the functions on this connection. A registration that the host refuses
// (say, a function name it reserves) does not stop the others, and loading
// still succeeds; the host's error-message slot is left alone.
extern "C" GEODESY_EXPORT int GEODESY_ENTRY_POINT(sqlite3* db, char** /*pzErrMsg*/,
                                                  const sqlite3_api_routines* pApi) {
#ifdef GEODESY_STATIC_LINK
    // Linked into a program, the entry point may be handed no table
    // (SQLite built without extension loading): use the linked SQLite's.
    if (pApi == nullptr) pApi = geodesy_builtin_routines();
#endif
    store_routine_table(pApi);
    for (const FunctionEntry& f : functions) {
        sqlite3_create_function(db, f.name, 4, SQLITE_UTF8, nullptr, f.adapter, nullptr,
                                nullptr);
    }
    return SQLITE_OK;
}
