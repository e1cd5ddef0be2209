#pragma once

class QCoreApplication;

// Qt's own words (the file dialogs' columns and tool tips, the text fields' context menus, the
// sizes "bytes" and "KB") in Turkish, from the translations Qt ships with the system. Returns
// whether they were found; without them Qt keeps its English words and the program goes on.
bool installQtTurkish(QCoreApplication& application);
