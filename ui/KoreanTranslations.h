#pragma once
// The program speaks Korean whatever the desktop's language: Qt's own texts (the Yes/No/OK of
// message boxes, the folder browser, context menus) come from Qt's Korean catalogue.

// Loads the catalogue into the running application once; false when it is not installed, in which
// case Qt's English texts stay.
bool InstallKoreanTranslations();
