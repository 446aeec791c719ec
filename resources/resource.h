// Resource identifiers shared by the resource script and the code that loads the resources.
#pragma once

#define IDI_APP 100
#define IDI_TRAY1 101
#define IDI_TRAY2 102
#define IDI_TRAY3 103
#define IDC_POINTER 110
#define IDR_SPLASH 120
