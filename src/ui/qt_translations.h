#pragma once

namespace movan {

// Qt's own texts around the program's windows (standard buttons, the file
// dialogs, context menus) in Persian from Qt's translation catalogue, and
// standard dialogs laid out right to left, whatever the locale the program
// was started in. The program's own texts are not touched. Returns whether
// the catalogue was found; the direction is set either way. Call once the
// application object exists.
bool installQtPersianTranslations();

} // namespace movan
