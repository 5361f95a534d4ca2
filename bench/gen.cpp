// Synthetic station report generator for the tabjd benchmarks.
//
// usage: gen ROWS [--minute|--short] [--extra] [--aligned] [--seed N]
//        (report on stdout)
//
// Writes a report of the kind tabjd and tabjd2 read: a few header lines, the
// heading line, a dashed separator and ROWS rows on consecutive dates. With
// --minute (the default) rows step 10 minutes through each day; --short drops
// the minute column and steps one day per row. --extra adds a QUALITY column
// before the value, as tabjd2 expects.
//
// Rows mix the layouts found in real files: aligned columns, tabs, and commas
// with or without blanks around them. Values carry 0 to 6 decimals, wander
// through negative and positive ranges with the odd spike, and about 1% of the
// rows are broken over two lines. --aligned writes every row in the aligned
// layout, each field right-aligned in its fixed width as fixed-width station
// reports are; the values and line breaks stay those of the same arguments
// without it, so the programs print the same output for both reports.
//
// The output depends on the arguments only: a hand-rolled PRNG (not <random>
// distributions, whose output differs between standard libraries) and
// hand-written number formatting into one big buffer keep it identical
// everywhere, and fast enough for 10 million rows in a few seconds.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

namespace {

struct Rng {
    std::uint64_t state;

    // splitmix64
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n).
    std::uint32_t below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
    }

    bool per_mille(std::uint32_t p) { return below(1000) < p; }
};

// Output buffer written with fwrite in large blocks.
class Out {
  public:
    // Make room for n more bytes.
    void reserve(std::size_t n) {
        if (len_ + n > sizeof buf_) flush();
    }
    void put(char c) { buf_[len_++] = c; }
    void put(std::string_view s) {
        std::memcpy(buf_ + len_, s.data(), s.size());
        len_ += s.size();
    }
    void blanks(std::size_t n) {
        std::memset(buf_ + len_, ' ', n);
        len_ += n;
    }
    void line(std::string_view s) {
        reserve(s.size() + 1);
        put(s);
        put('\n');
    }
    void flush() {
        if (len_ != 0 && std::fwrite(buf_, 1, len_, stdout) != len_) {
            std::perror("gen: write");
            std::exit(1);
        }
        len_ = 0;
    }

  private:
    char buf_[1 << 20];
    std::size_t len_ = 0;
};

// One field of a row, formatted.
struct Field {
    char text[24];
    std::size_t len = 0;

    std::string_view view() const { return {text, len}; }
};

void format_uint(Field& f, std::uint64_t v) {
    char tmp[20];
    std::size_t n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n != 0)
        f.text[f.len++] = tmp[--n];
}

constexpr std::int64_t pow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// Formats mantissa / 10^decimals with exactly `decimals` digits after the point.
void format_fixed(Field& f, std::int64_t mantissa, int decimals) {
    if (mantissa < 0) {
        f.text[f.len++] = '-';
        mantissa = -mantissa;
    }
    std::int64_t scale = pow10[decimals];
    format_uint(f, static_cast<std::uint64_t>(mantissa / scale));
    if (decimals == 0) return;
    f.text[f.len++] = '.';
    std::int64_t frac = mantissa % scale;
    for (int i = decimals - 1; i >= 0; --i) {
        f.text[f.len + static_cast<std::size_t>(i)] = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    f.len += static_cast<std::size_t>(decimals);
}

bool leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

struct Station {
    const char* code;
    const char* name;
    const char* position;
};

constexpr Station stations[] = {
    {"KIR", "KIRUNA GEOPHYSICAL OBSERVATORY", "LAT  67.84 N   LON  20.42 E   ELEV  390 M"},
    {"HER", "HERMANUS MAGNETIC OBSERVATORY", "LAT  34.42 S   LON  19.23 E   ELEV   26 M"},
    {"BOU", "BOULDER GEOMAGNETIC OBSERVATORY", "LAT  40.14 N   LON 105.24 W   ELEV 1682 M"},
    {"KAK", "KAKIOKA MAGNETIC OBSERVATORY", "LAT  36.23 N   LON 140.19 E   ELEV   36 M"},
};

enum class Style { aligned, tabs, commas };

struct Options {
    std::uint64_t rows = 0;
    bool minute = true;
    bool extra = false;
    bool aligned = false;
    std::uint64_t seed = 1;
};

[[noreturn]] void usage() {
    std::fputs("usage: gen ROWS [--minute|--short] [--extra] [--aligned] [--seed N]\n", stderr);
    std::exit(2);
}

bool parse_u64(const char* s, std::uint64_t& out) {
    if (*s < '0' || *s > '9') return false;
    char* end = nullptr;
    out = std::strtoull(s, &end, 10);
    return *end == '\0';
}

Options parse_args(int argc, char** argv) {
    Options opt;
    bool have_rows = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--minute")
            opt.minute = true;
        else if (a == "--short")
            opt.minute = false;
        else if (a == "--extra")
            opt.extra = true;
        else if (a == "--aligned")
            opt.aligned = true;
        else if (a == "--seed" && i + 1 < argc) {
            if (!parse_u64(argv[++i], opt.seed)) usage();
        } else if (!have_rows && parse_u64(argv[i], opt.rows))
            have_rows = true;
        else
            usage();
    }
    if (!have_rows) usage();
    return opt;
}

void write_header(Out& out, const Options& opt, Rng& rng) {
    const Station& st = stations[rng.below(static_cast<std::uint32_t>(std::size(stations)))];
    char line[160];
    std::snprintf(line, sizeof line, "STATION  %s  %s", st.code, st.name);
    out.line(line);
    out.line(st.position);
    out.line("ELEMENT  H (HORIZONTAL INTENSITY), BASELINE REMOVED    UNITS  NT");
    std::snprintf(line, sizeof line, "%s   SYNTHETIC REPORT, SEED %llu",
                  opt.minute ? "INTERVAL 10 MIN" : "DAILY MEANS",
                  static_cast<unsigned long long>(opt.seed));
    out.line(line);
    if (opt.extra) out.line("QUALITY  0 = RAW ... 9 = DEFINITIVE, -9.9 = NOT ASSESSED");
    out.line("");
    std::string heading = "YEAR MONTH DAY";
    if (opt.minute) heading += " MINUTE";
    if (opt.extra) heading += " QUALITY";
    heading += " VALUE";
    out.line(heading);
    for (char& c : heading)
        if (c != ' ') c = '-';
    out.line(heading);
}

} // namespace

int main(int argc, char** argv) {
    const Options opt = parse_args(argc, argv);
    Rng rng{opt.seed * 0x2545f4914f6cdd1dULL + 0x1234567};
    static Out out;
    write_header(out, opt, rng);

    int year = 1890 + static_cast<int>(rng.below(80));
    int month = 1;
    int day = 1;
    int minute = 0;
    // The value in millionths: a bounded random walk with occasional spikes.
    // Mostly positive, as for a field component with its baseline removed.
    constexpr std::int64_t walk_low = -200'000'000, walk_high = 800'000'000;
    std::int64_t micros = static_cast<std::int64_t>(rng.below(300'000'001)) - 50'000'000;

    // Right-aligned column widths of the aligned layout; each is wider than
    // the longest text so neighbouring fields stay apart.
    constexpr std::size_t w_year = 5, w_month = 3, w_day = 3, w_minute = 5, w_extra = 7,
                          w_value = 16;

    Field fields[6];
    std::size_t widths[6];
    for (std::uint64_t row = 0; row < opt.rows; ++row) {
        std::size_t nf = 0;
        auto next_field = [&](std::size_t width) -> Field& {
            widths[nf] = width;
            fields[nf].len = 0;
            return fields[nf++];
        };
        format_uint(next_field(w_year), static_cast<std::uint64_t>(year));
        format_uint(next_field(w_month), static_cast<std::uint64_t>(month));
        format_uint(next_field(w_day), static_cast<std::uint64_t>(day));
        if (opt.minute) format_uint(next_field(w_minute), static_cast<std::uint64_t>(minute));
        if (opt.extra) {
            Field& q = next_field(w_extra);
            if (rng.per_mille(20))
                format_fixed(q, -99, 1);
            else {
                int d = static_cast<int>(rng.below(4));
                format_fixed(q, rng.below(10000) / pow10[3 - d], d);
            }
        }

        micros += static_cast<std::int64_t>(rng.below(6'000'001)) - 3'000'000;
        if (micros > walk_high)
            micros = 2 * walk_high - micros;
        else if (micros < walk_low)
            micros = 2 * walk_low - micros;
        std::int64_t v = micros;
        if (rng.per_mille(5)) v *= 1 + static_cast<std::int64_t>(rng.below(1000));
        static constexpr int decimals_by_tenth[] = {0, 1, 1, 2, 2, 3, 3, 4, 5, 6};
        int d = decimals_by_tenth[rng.below(10)];
        format_fixed(next_field(w_value), v / pow10[6 - d], d);

        // Layout: 70% aligned, 10% tabs, 20% commas (some with blanks around).
        // The choice is drawn with --aligned too, so that the rest of the
        // report does not change.
        std::uint32_t pick = rng.below(10);
        Style style = pick < 7 ? Style::aligned : pick < 8 ? Style::tabs : Style::commas;
        std::string_view comma = ",";
        if (style == Style::commas) {
            static constexpr std::string_view commas[] = {",", ",", ",", ", ", ", ", " , ", " ,"};
            comma = commas[rng.below(static_cast<std::uint32_t>(std::size(commas)))];
        }
        if (opt.aligned) style = Style::aligned;
        std::size_t split = rng.per_mille(10) ? 1 + rng.below(static_cast<std::uint32_t>(nf - 1))
                                              : nf; // field that starts the second line

        out.reserve(128);
        for (std::size_t i = 0; i < nf; ++i) {
            const Field& f = fields[i];
            if (i == split) out.put('\n');
            if (style == Style::aligned)
                out.blanks(widths[i] - f.len);
            else if (i != 0 && i != split)
                out.put(style == Style::tabs ? std::string_view("\t") : comma);
            out.put(f.view());
        }
        out.put('\n');

        if (!opt.minute || (minute += 10) == 1440) {
            minute = 0;
            if (++day > days_in_month(year, month)) {
                day = 1;
                if (++month > 12) {
                    month = 1;
                    // Keep dates plausible for very long reports.
                    if (++year > 2199) year = 1800;
                }
            }
        }
    }
    out.flush();
    if (std::fflush(stdout) != 0) {
        std::perror("gen: write");
        return 1;
    }
    return 0;
}
