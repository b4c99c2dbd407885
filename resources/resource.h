/* Control identifiers of the two dialogs. */
#ifndef RESOURCE_H
#define RESOURCE_H

#define IDC_WELCOME_TEXT    1000
#define IDC_UNINSTALL_TEXT  1007
#define IDC_PROGRESS        1008

#endif
