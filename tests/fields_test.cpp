// Reading one number and writing one output field.
#include "converter/fixedpoint.h"
#include "converter/numbers.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <string_view>

namespace {

using converter::verdict;

verdict integer(std::string_view s, std::int32_t& v) {
    return converter::parseinteger(s.data(), s.data() + s.size(), v);
}
verdict real(std::string_view s, double& v) {
    return converter::parsereal(s.data(), s.data() + s.size(), v);
}
std::string field(double v) {
    char out[converter::fieldwidth];
    converter::fixedcache none;
    converter::formatfixed(v, out, none);
    return std::string(out, sizeof out);
}

struct integercase {
    std::string_view text;
    verdict expected;
    std::int32_t value;
};

TEST(IntegerField, FormAndRange) {
    // clang-format off
    const integercase cases[] = {
        // text                      verdict              value
        {"0",                        verdict::ok,         0},
        {"2000",                     verdict::ok,         2000},
        {"+12",                      verdict::ok,         12},
        {"-12",                      verdict::ok,         -12},
        {"007",                      verdict::ok,         7},
        {"2147483647",               verdict::ok,         2147483647},
        {"-2147483648",              verdict::ok,         -2147483647 - 1},
        {"2147483648",               verdict::outofrange, 0},
        {"-2147483649",              verdict::outofrange, 0},
        {"99999999999999",           verdict::outofrange, 0},
        {"000000000000002147483647", verdict::ok,         2147483647},
        {"",                         verdict::notanumber, 0},
        {"-",                        verdict::notanumber, 0},
        {"+-1",                      verdict::notanumber, 0},
        {"1.5",                      verdict::notanumber, 0},
        {"1.",                       verdict::notanumber, 0},
        {"1e3",                      verdict::notanumber, 0},
        {"x",                        verdict::notanumber, 0},
        {"3*1",                      verdict::notanumber, 0},
        {"/",                        verdict::notanumber, 0},
        {"99999999999x",             verdict::notanumber, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int32_t v = -99;
        EXPECT_EQ(integer(c.text, v), c.expected) << '"' << c.text << '"';
        EXPECT_EQ(v, c.expected == verdict::ok ? c.value : -99) << '"' << c.text << '"';
    }
}

struct realcase {
    std::string_view text;
    verdict expected;
};

// Accepted forms read to the same double as strtod (with d exponents as e).
TEST(RealField, AcceptedFormsMatchStrtod) {
    const std::string_view accepted[] = {
        "0",
        "12.5",
        "-12.5",
        "+12.5",
        "1.",
        ".5",
        "-.5",
        "1e3",
        "1E3",
        "1d3",
        "1D3",
        "1.5D+03",
        "1.5d-03",
        "-0",
        "-0.0",
        "0.1",
        "2451544.50069",
        "1e-400",
        "-1e-400",
        "4.9e-324",
        "2.2250738585072011e-308",
        "1.7976931348623157e308",
        "9007199254740993",
        "0.000000000000000000000000000000000000000000001",
        "123456789012345678901234567890123456789012345678901234567890",
    };
    for (const std::string_view text : accepted) {
        double v = 0;
        ASSERT_EQ(real(text, v), verdict::ok) << text;
        std::string forstrtod(text);
        for (char& c : forstrtod)
            if (c == 'd' || c == 'D') c = 'e';
        const double expected = std::strtod(forstrtod.c_str(), nullptr);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(expected)) << text;
    }
}

TEST(RealField, WordsAndRefusals) {
    // clang-format off
    const realcase cases[] = {
        // text       verdict
        {"nan",       verdict::ok},
        {"NaN",       verdict::ok},
        {"-nan",      verdict::ok},
        {"inf",       verdict::ok},
        {"-Infinity", verdict::ok},
        {"+INF",      verdict::ok},
        {"nan(1)",    verdict::notanumber},
        {"infinit",   verdict::notanumber},
        {"1e999",     verdict::outofrange},
        {"-1.8e308",  verdict::outofrange},
        {"1d400",     verdict::outofrange},
        {"",          verdict::notanumber},
        {"+",         verdict::notanumber},
        {".",         verdict::notanumber},
        {"-.",        verdict::notanumber},
        {"e5",        verdict::notanumber},
        {"1e",        verdict::notanumber},
        {"1e+",       verdict::notanumber},
        {"1.5+3",     verdict::notanumber},
        {"1.5q3",     verdict::notanumber},
        {"0x1p3",     verdict::notanumber},
        {"3*1.5",     verdict::notanumber},
        {"1,5",       verdict::notanumber},
        {"12.5x",     verdict::notanumber},
        {"1..5",      verdict::notanumber},
        {"x",         verdict::notanumber},
        {"/",         verdict::notanumber},
    };
    // clang-format on
    for (const auto& c : cases) {
        double v = 0;
        EXPECT_EQ(real(c.text, v), c.expected) << '"' << c.text << '"';
    }
    double v = 0;
    ASSERT_EQ(real("-inf", v), verdict::ok);
    EXPECT_EQ(v, -std::numeric_limits<double>::infinity());
    ASSERT_EQ(real("-nan", v), verdict::ok);
    EXPECT_TRUE(std::isnan(v));
}

TEST(Fields, TokenLimit) {
    const std::string longest = "0." + std::string(converter::tokenmax - 2, '1');
    const std::string toolong(converter::tokenmax + 1, '1');
    double d = 0;
    std::int32_t i = 0;
    EXPECT_EQ(real(longest, d), verdict::ok);
    EXPECT_EQ(real(toolong, d), verdict::toolong);
    EXPECT_EQ(integer(toolong, i), verdict::toolong);
    EXPECT_EQ(integer(std::string(converter::tokenmax - 1, '0') + "7", i), verdict::ok);
    EXPECT_EQ(i, 7);
}

struct fieldcase {
    double value;
    std::string_view expected;
};

void expectfields(const fieldcase* first, const fieldcase* last) {
    for (; first != last; ++first) {
        EXPECT_EQ(field(first->value), first->expected) << first->value;
        char printed[64];
        std::snprintf(printed, sizeof printed, "%16.5f", first->value);
        if (std::string_view(printed).size() == 16 && std::isfinite(first->value)) {
            EXPECT_EQ(first->expected, printed) << "the table disagrees with printf";
        }
    }
}

TEST(FixedField, Rounding) {
    // clang-format off
    const fieldcase cases[] = {
        // value            expected
        {12.5,              "        12.50000"},
        {2451544.5,         "   2451544.50000"},
        {0.5,               "         0.50000"},
        {0.0,               "         0.00000"},
        {-0.0,              "        -0.00000"},
        {-12.5,             "       -12.50000"},
        {0.000005,          "         0.00001"}, // just above the tie in binary
        {0.000015,          "         0.00002"},
        {1.0 / 64,          "         0.01562"}, // exact tie, to even
        {3.0 / 64,          "         0.04688"}, // exact tie, to even
        {-1.0 / 64,         "        -0.01562"},
        {-0.000001,         "        -0.00000"}, // negative, rounds to zero
        {5e-324,            "         0.00000"},
        {2451544.999305556, "   2451544.99931"},
    };
    // clang-format on
    expectfields(std::begin(cases), std::end(cases));
}

TEST(FixedField, Carrying) {
    // clang-format off
    const fieldcase cases[] = {
        // value            expected
        {9.999995,          "        10.00000"},
        {99999.999995,      "    100000.00000"},
        {-9.999996,         "       -10.00000"},
        {0.999999,          "         1.00000"},
        {9999999999.999994, "9999999999.99999"},
    };
    // clang-format on
    expectfields(std::begin(cases), std::end(cases));
}

TEST(FixedField, Overflow) {
    // clang-format off
    const fieldcase cases[] = {
        // value                 expected
        {9999999999.99999,       "9999999999.99999"}, // widest positive
        {9999999999.999996,      "****************"}, // rounds to 11 digits
        {10000000000.0,          "****************"},
        {-999999999.99999,       "-999999999.99999"}, // widest negative
        {-999999999.999996,      "****************"},
        {-1000000000.0,          "****************"},
        {1.0e12,                 "****************"},
        {-1.0e300,               "****************"},
        {1.7976931348623157e308, "****************"},
    };
    // clang-format on
    expectfields(std::begin(cases), std::end(cases));
}

// Products of two words from their halves (the targets without __int128),
// and as this build makes them: carries out of each half.
TEST(FixedField, WideProducts) {
    const struct {
        std::uint64_t a, b, high, low;
    } cases[] = {
        // clang-format off
        // a                     b                     high                  low
        {0xffffffffffffffff,     0xffffffffffffffff,   0xfffffffffffffffe,   0x1},
        {0xffffffff,             0xffffffff,           0x0,                  0xfffffffe00000001},
        {0x8000000000000000,     0x2,                  0x1,                  0x0},
        {0xffffffff00000001,     0xffffffff,           0xfffffffe,           0x1ffffffff},
        {0x123456789abcdef0,     0xfedcba9876543210,   0x121fa00ad77d7422,   0x236d88fe5618cf00},
        {0xffffffffffffffff,     100000,               0x1869f,              0xfffffffffffe7960},
        {0x1fffffffffffff,       100000,               0x30,                 0xd3fffffffffe7960}, // the widest mantissa
        // clang-format on
    };
    for (const auto& c : cases)
        for (const converter::wide p :
             {converter::wide::byhalves(c.a, c.b), converter::wide::product(c.a, c.b)}) {
            EXPECT_EQ(p.high, c.high) << std::hex << c.a << " * " << c.b;
            EXPECT_EQ(p.low, c.low) << std::hex << c.a << " * " << c.b;
        }
}

TEST(FixedField, NotFinite) {
    // clang-format off
    const fieldcase cases[] = {
        // value                                    expected
        {std::numeric_limits<double>::quiet_NaN(),  "             NaN"},
        {-std::numeric_limits<double>::quiet_NaN(), "             NaN"},
        {std::numeric_limits<double>::infinity(),   "        Infinity"},
        {-std::numeric_limits<double>::infinity(),  "       -Infinity"},
    };
    // clang-format on
    expectfields(std::begin(cases), std::end(cases));
}

} // namespace
