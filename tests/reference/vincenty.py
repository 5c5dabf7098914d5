# SPDX-License-Identifier: MIT
"""An independent evaluation of the extension's arithmetic, in plain Python.

This is a second transcription of Vincenty's formulae, written apart from
geodesy/ and sharing no code with it. Every formula is evaluated in the
grouping and order that the extension defines, one IEEE double operation at
a time (Python floats are doubles and Python never fuses a multiply-add),
and the maths functions are the C library's own, reached through `math`.
So for each SQL call it gives the exact bits that the module must return.

Python raises where IEEE arithmetic returns a value (division by zero,
sin/cos/tan of an infinity, sqrt of a negative number); the helpers below
return the IEEE value instead.
"""
import math

# The ellipsoid and the constants.
SEMI_MAJOR_AXIS = 6378137.0
FLATTENING = 1.0 / 298.2572235636655            # bits 0x3F6B775A84F39DC6
SEMI_MINOR_AXIS = (1.0 - FLATTENING) * SEMI_MAJOR_AXIS
SEMI_MAJOR_AXIS_SQUARED = 40680631590769.0
PI = 3.141592653589793
TWO_PI = 6.283185307179586
EPSILON = 5e-16
INVERSE_PASSES = 40         # at most 40 passes of the λ iteration
DIRECT_PASS_BOUND = 100     # the σ counter must stay below 100: at most 99 passes

NAN = math.nan


def div(a, b):
    """a / b with IEEE semantics for a zero divisor."""
    if b != 0.0 or math.isnan(b):
        return a / b
    if math.isnan(a) or a == 0.0:
        return NAN
    return math.copysign(math.inf, a) * math.copysign(1.0, b)


def _finite_only(f):
    return lambda x: NAN if math.isinf(x) else f(x)


sin = _finite_only(math.sin)
cos = _finite_only(math.cos)
tan = _finite_only(math.tan)
atan = math.atan


def sqrt(x):
    return NAN if x < 0.0 else math.sqrt(x)


atan2 = math.atan2  # ordinate first; IEEE results for zeros and infinities


def use_maths(library, prefix=""):
    """Takes sin, cos, tan, atan and atan2 from another C library from now
    on: the shared library at this path, with the functions named
    prefix + 'sin' and so on (musl_maths.sh makes one from musl's). The
    calls are the library's own, so infinities and NaNs give its IEEE
    results."""
    import ctypes
    lib = ctypes.CDLL(library)
    functions = {}
    for name, args in (("sin", 1), ("cos", 1), ("tan", 1), ("atan", 1), ("atan2", 2)):
        f = getattr(lib, prefix + name)
        f.restype = ctypes.c_double
        f.argtypes = [ctypes.c_double] * args
        functions[name] = f
    globals().update(functions)


def deg_to_rad(x):
    return (x * PI) / 180.0


def rad_to_deg(x):
    return (x * 180.0) / PI


def inverse(lat1, lon1, lat2, lon2):
    """Distance (m), initial and final azimuth (radians) between two points
    given in radians."""
    L = lon2 - lon1
    k = 1.0 - FLATTENING
    U1 = atan(k * tan(lat1))
    U2 = atan(k * tan(lat2))
    sinU1, cosU1 = sin(U1), cos(U1)
    sinU2, cosU2 = sin(U2), cos(U2)
    cU1cU2 = cosU1 * cosU2
    cU1sU2 = cosU1 * sinU2
    sU1sU2 = sinU1 * sinU2
    sU1cU2 = sinU1 * cosU2

    lam = L
    n = 0
    while True:
        sin_lam = sin(lam)
        cos_lam = cos(lam)
        p = cosU2 * sin_lam
        q = cU1sU2 - sU1cU2 * cos_lam
        sin_sigma = sqrt(p * p + q * q)
        if sin_sigma == 0.0:
            return 0.0, 0.0, 0.0
        cos_sigma = sU1sU2 + cU1cU2 * cos_lam
        sigma = atan2(sin_sigma, cos_sigma)
        sin_alpha = div(cU1cU2 * sin_lam, sin_sigma)
        cos2_alpha = 1.0 - sin_alpha * sin_alpha
        cos_2sm = cos_sigma - div(2.0 * sU1sU2, cos2_alpha)
        # Equatorial to working precision: the quotient is 0/0 on the
        # equator and ±∞ just off it; either way the term is 0.
        if not math.isfinite(cos_2sm):
            cos_2sm = 0.0
        C = FLATTENING / 16.0 * cos2_alpha * (4.0 + FLATTENING * (4.0 - 3.0 * cos2_alpha))
        lam_prev = lam
        lam = L + (1.0 - C) * FLATTENING * sin_alpha * (
            sigma + C * sin_sigma * (cos_2sm + C * cos_sigma * (2.0 * (cos_2sm * cos_2sm) - 1.0)))
        if not abs(lam - lam_prev) > EPSILON:
            break
        n += 1
        if n == INVERSE_PASSES:
            break

    b = SEMI_MINOR_AXIS
    b2 = b * b
    u2 = div(cos2_alpha * (SEMI_MAJOR_AXIS_SQUARED - b2), b2)
    A = 1.0 + u2 / 16384.0 * (4096.0 + u2 * (-768.0 + u2 * (320.0 - 175.0 * u2)))
    B = u2 / 1024.0 * (256.0 + u2 * (-128.0 + u2 * (74.0 - 47.0 * u2)))
    c2 = cos_2sm * cos_2sm
    delta_sigma = B * sin_sigma * (cos_2sm + B / 4.0 * (
        cos_sigma * (2.0 * c2 - 1.0)
        - div(B, 6.0) * cos_2sm * (4.0 * (sin_sigma * sin_sigma) - 3.0) * (4.0 * c2 - 3.0)))
    distance = b * A * (sigma - delta_sigma)
    # The azimuths use the λ the last pass began with.
    alpha1 = atan2(cosU2 * sin_lam, cU1sU2 - sU1cU2 * cos_lam)
    alpha2 = atan2(cosU1 * sin_lam, cU1sU2 * cos_lam - sU1cU2)
    if alpha1 < 0.0:
        alpha1 = alpha1 + TWO_PI
    if alpha2 < 0.0:
        alpha2 = alpha2 + TWO_PI
    return distance, alpha1, alpha2


def direct(lat1, lon1, alpha1, s):
    """Latitude and longitude (radians) reached from a start point in
    radians along azimuth alpha1 (radians) after s metres."""
    sin_a1 = sin(alpha1)
    cos_a1 = cos(alpha1)
    one_minus_f = 1.0 - FLATTENING
    tanU1 = tan(lat1) * one_minus_f
    cosU1 = div(1.0, sqrt(tanU1 * tanU1 + 1.0))
    sinU1 = cosU1 * tanU1
    sigma1 = atan2(tanU1, cos_a1)
    sin_alpha = cosU1 * sin_a1
    sin2_alpha = sin_alpha * sin_alpha
    cos2_alpha = 1.0 - sin2_alpha
    b = SEMI_MINOR_AXIS
    u2 = div(cos2_alpha * (SEMI_MAJOR_AXIS_SQUARED - b * b), b * b)
    A = 1.0 + ((((320.0 - u2 * 175.0) * u2) - 768.0) * u2 + 4096.0) * (u2 / 16384.0)
    B = ((((74.0 - u2 * 47.0) * u2) - 128.0) * u2 + 256.0) * (u2 / 1024.0)
    sigma0 = div(s, A * b)
    sigma = sigma0
    two_sigma1 = sigma1 + sigma1
    sin_sigma = sin(sigma)
    cos_sigma = cos(sigma)
    cos_2sm = cos(two_sigma1 + sigma)

    sigma_prev = TWO_PI
    counter = 0
    while abs(sigma - sigma_prev) > EPSILON:
        counter += 1
        if not counter < DIRECT_PASS_BOUND:
            break
        cos_2sm = cos(sigma + two_sigma1)
        sin_sigma = sin(sigma)
        cos_sigma = cos(sigma)
        sigma_prev = sigma
        k = cos_2sm
        delta_sigma = (B * sin_sigma) * (
            k + ((k * k + k * k - 1.0) * cos_sigma
                 - ((4.0 * sin_sigma * sin_sigma - 3.0) * (div(B, 6.0) * k)) * (k * k * 4.0 - 3.0))
            * (B / 4.0))
        sigma = delta_sigma + sigma0

    t = sin_sigma * sinU1 - (cos_sigma * cosU1) * cos_a1
    lat2 = atan2(cos_a1 * (cosU1 * sin_sigma) + sinU1 * cos_sigma,
                 sqrt(t * t + sin2_alpha) * one_minus_f)
    lam = atan2(sin_sigma * sin_a1, cos_sigma * cosU1 - (sin_sigma * sinU1) * cos_a1)
    C = (cos2_alpha * (FLATTENING / 16.0)) * (4.0 + (4.0 - 3.0 * cos2_alpha) * FLATTENING)
    k = cos_2sm
    L = lam - ((k + ((k + k) * k - 1.0) * (cos_sigma * C)) * (C * sin_sigma) + sigma) * (
        ((1.0 - C) * FLATTENING) * sin_alpha)
    return lat2, L + lon1


# The SQL functions: arguments in degrees (and metres), as SQL reads them;
# each adapter hands back one of these values.
def _inverse_deg(lat1, lon1, lat2, lon2):
    return inverse(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(lat2), deg_to_rad(lon2))


def _direct_deg(lat1, lon1, azimuth, metres):
    return direct(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(azimuth), metres)


def inverse_row(lat1, lon1, lat2, lon2):
    """distance, azimut_start, azimut_end of one row, solving once."""
    s, a1, a2 = _inverse_deg(lat1, lon1, lat2, lon2)
    return s, rad_to_deg(a1), rad_to_deg(a2)


def direct_row(lat1, lon1, azimuth, metres):
    """project_lat, project_lon of one row, solving once."""
    lat2, lon2 = _direct_deg(lat1, lon1, azimuth, metres)
    return rad_to_deg(lat2), rad_to_deg(lon2)
