#pragma once

class QWidget;

namespace movan {

// A restore the program did not see to its end (killed, logged out, a
// display that crashed) left its journal: asks the server what became of the
// database, tells the user where their data is, and offers the way back from
// the safety copy or to keep what the server has. Nothing is deleted without
// the user's word.
enum class LeftoverRestore {
    None, // no restore was left unfinished
    Resolved, // one was, and the user has been told where their database is now
    Pending, // one was, and stays so: the server is away, or the user chose to decide later
};
LeftoverRestore resolveUnfinishedRestore(QWidget &window);

} // namespace movan
