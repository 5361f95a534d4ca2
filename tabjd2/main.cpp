// tabjd2: as tabjd, for reports whose rows carry one more column before the
// value; that column is read and dropped.
#include "tabjd2/layouts.h"

int main() {
    return converter::run(tabjd2::program);
}
