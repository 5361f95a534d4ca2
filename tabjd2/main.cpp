// tabjd2: as tabjd, for reports whose rows carry one more column before the
// value; that column is read and dropped.
#include "converter/commandline.h"
#include "tabjd2/help.h"
#include "tabjd2/layouts.h"

int main(int argc, char** argv) {
    return converter::start(tabjd2::program, tabjd2::help, argc, argv);
}
