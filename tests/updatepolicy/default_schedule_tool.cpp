// Reads the policy schedule in a fresh process and writes "frequency hour minute ok" to the file named by argv[1].
#include <cstdio>

#include "updatepolicy/au_config.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    au::Config config(au::RegDataStore::currentLayout);
    bool ok = false;
    au::Schedule schedule = config.getSchedule(&ok);
    FILE* out = std::fopen(argv[1], "w");
    if (!out) return 3;
    std::fprintf(out, "%u %d %d %d", schedule.frequency, schedule.hour, schedule.minute, ok ? 1 : 0);
    return std::fclose(out) == 0 ? 0 : 4;
}
