// tabjd: a report of year, month, day, [minute,] value rows on standard input
// becomes Julian date and value lines on standard output.
#include "converter/commandline.h"
#include "tabjd/help.h"
#include "tabjd/layouts.h"

int main(int argc, char** argv) {
    return converter::start(tabjd::program, tabjd::help, argc, argv);
}
