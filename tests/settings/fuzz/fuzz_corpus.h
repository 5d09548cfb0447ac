// The fuzz corpus, built into the test programs (see embed_corpus.cmake).
#pragma once

#include <cstddef>

namespace settings_test {

struct CorpusFile {
    const char* name;
    const char* bytes;
    size_t size;
};

extern const CorpusFile FUZZ_CORPUS[];
extern const size_t FUZZ_CORPUS_SIZE;

}  // namespace settings_test
