// A program that ends by a page fault, as a faulty test would: under the tests' Wine prefix its
// crash must be reported on its output and end it, not wait in a crash dialog for a click.
#include <windows.h>

int main()
{
    SetErrorMode(0); // as a test program starts: Windows' own handling of a fault
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
