// Linked into every test program: whatever the tool keeps in the user's data
// folder (the history of writes) goes to the build's own folder while tests run.
#include <stdlib.h>

namespace {

const bool kDataHomeSet = ::setenv("XDG_DATA_HOME", QUILLMERE_TEST_DATA_HOME, 1) == 0;

}  // namespace
