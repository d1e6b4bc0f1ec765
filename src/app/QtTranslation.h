#pragma once
// Qt's own dialogs and buttons (Open, Save, Font, Colour, message boxes, the
// print preview) in Persian.

class QCoreApplication;

namespace rasmik {

// Loads Qt's Persian translation from Qt's translations folder into app; the
// names of keys stay English. It turns the program right to left. False when
// it is not installed: Qt's dialogs then stay in English.
bool InstallQtTranslation(QCoreApplication& app);

} // namespace rasmik
