// The program's version information: the one place where its names and numbers are written.
// The resource script, the settings key, the tooltips and the installer all read them from here
// (at run time through the version resource built from this file).
#pragma once

#define HV_COMPANY_NAME "Quil"
#define HV_PRODUCT_NAME "Horavane"
#define HV_FILE_DESCRIPTION "Horavane"
#define HV_COPYRIGHT "Copyright (C) 2026 Quil"
#define HV_VERSION_MAJOR 1
#define HV_VERSION_MINOR 1
#define HV_VERSION_BUILD 0
#define HV_VERSION_REVISION 2
#define HV_VERSION_TEXT "1.01.0002"
#define HV_WEB_PAGE "https://www.quil.example/horavane/"
