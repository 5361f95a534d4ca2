// tabjd: a report of year, month, day, [minute,] value rows on standard input
// becomes Julian date and value lines on standard output.
#include "tabjd/layouts.h"

int main() {
    return converter::run(tabjd::program);
}
