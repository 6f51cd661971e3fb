// placeholder
#include <windows.h>
