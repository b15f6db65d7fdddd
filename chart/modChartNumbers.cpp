#include "modChartNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "modAPI.h"
#include "modFunctions.h"

namespace modChartCommon {

double RoundEven(double x) { return std::nearbyint(x); }

int RoundPixel(double x) {
    constexpr double limit = 1 << 24;
    if (!(x == x)) return 0;
    return static_cast<int>(RoundEven(std::clamp(x, -limit, limit)));
}

double ValueStep(double span, int n) {
    if (span == 0.0 || !std::isfinite(span)) return 0.0;
    if (n < 3) n = 3;
    static const double multipliers[] = {1.0, 2.0, 5.0};
    const double s = std::fabs(span);
    for (int exponent = -6; exponent <= 308; ++exponent) {
        const double power = std::pow(10.0, exponent);
        for (double m : multipliers) {
            const double d = m * power;
            if (s / d < n) return std::copysign(d, span);
        }
    }
    return std::copysign(std::numeric_limits<double>::max(), span);
}

double TimeStep(double spanMs, int n) {
    if (n < 1) n = 1;
    if (!std::isfinite(spanMs) || spanMs == 0.0) return 1.0;
    const double t = std::fabs(spanMs);
    const double q = RoundEven(spanMs / n);
    if (q > 1000) {
        static const double units[] = {1.0, 60.0, 3600.0, 86400.0};
        static const double multipliers[] = {1.0, 2.0, 5.0, 10.0, 15.0, 20.0, 30.0};
        for (double u : units) {
            for (double m : multipliers) {
                const double d = m * u * 1000.0;
                if (t / d < n) return d;
            }
        }
        // Beyond 30 days the step grows in whole 30-day units: the smallest
        // multiple k of them with t / (k * unit) < n.
        constexpr double month = 30.0 * modAPI::MsPerDay;
        double k = std::max(2.0, std::floor(t / n / month) + 1.0);
        if (k < 1e15) {  // whole numbers still exact: settle the rounding of the estimate
            while (t / (k * month) >= n) ++k;
            while (k > 2.0 && t / ((k - 1.0) * month) < n) --k;
        }
        return k * month;
    }
    static const double multipliers[] = {1.0, 2.0, 5.0};
    for (double power = 1.0;; power *= 10.0) {
        for (double m : multipliers)
            if (t / (m * power) < n) return m * power;
    }
}

std::string NumberFormat(double x) {
    const std::string text = modFunctions::NumberText(x);
    const auto e = text.find_first_of("eE");
    if (e == std::string::npos) return modFunctions::DecimalsPattern(x);
    // Exponent notation (1e-06, 2.5e-07): decimals = those of the mantissa
    // plus the negative exponent.
    const std::string mantissa = text.substr(0, e);
    const int exponent = std::atoi(text.c_str() + e + 1);
    const auto sep = mantissa.find_first_of(".,");
    const int mantissaDecimals =
        sep == std::string::npos ? 0 : static_cast<int>(mantissa.size() - sep - 1);
    const int decimals = std::max(0, mantissaDecimals - exponent);
    return decimals == 0 ? std::string("0") : "0." + std::string(decimals, '0');
}

std::string FormatNumber(double value, const std::string& pattern) {
    const auto dot = pattern.find('.');
    const int decimals =
        dot == std::string::npos ? 0 : static_cast<int>(pattern.size() - dot - 1);
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", std::min(decimals, 30), value);
    std::string s(buf);
    if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // "-0.0"
    for (char& c : s)
        if (c == '.') c = modFunctions::DecimalSeparator();
    return s;
}

std::string WidthFormat(double min, double max) {
    const auto lengthOf = [](double x) {
        const double r = std::nearbyint(x * 1e6) / 1e6;
        return modFunctions::NumberText(std::isfinite(r) ? r : x).size();
    };
    const std::size_t l = std::max<std::size_t>({lengthOf(min), lengthOf(max), 4});
    return std::string(l + 2, '#');
}

}  // namespace modChartCommon
