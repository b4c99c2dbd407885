/* The printer's numbered device and printer-class instance keys. */
#include <windows.h>

#include "removal.h"

void ScanInstanceKeys(void)
{
}
