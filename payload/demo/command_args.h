/* The command line after the program name, split the way the C runtime splits argv[0]; for the demo tools. */
#ifndef DEMO_COMMAND_ARGS_H
#define DEMO_COMMAND_ARGS_H

static const char* argumentsOf(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

#endif
