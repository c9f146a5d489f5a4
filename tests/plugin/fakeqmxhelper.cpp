// A stand-in for the integrity helper library: answers from QUOR_FAKE_MAX_MIC.
#include <cstdlib>
#include <cstring>

class __attribute__((visibility("default"))) MICDetect
{
public:
    static bool isCurrentProcessHasMaxMIC();
};

bool MICDetect::isCurrentProcessHasMaxMIC()
{
    const char *answer = std::getenv("QUOR_FAKE_MAX_MIC");
    return !answer || std::strcmp(answer, "0") != 0;
}
