// Identifiers of the program's resources, shared by the .rc and the code.
#pragma once

#define IDS_APP_TITLE 102  // "Quillmere": the settings dialog's title
