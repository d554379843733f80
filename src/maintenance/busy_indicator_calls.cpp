#include "maintenance/busy_indicator_calls.h"

#include "widgets/busy/mov_busy.h"

#include <exception>

namespace movan {

void showBusyIgnoringErrors(TMovBusy &busy)
{
    try {
        busy.Show();
    } catch (const std::exception &) {}
}

void showBusyIgnoringErrors(TMovBusy &busy, const QString &message)
{
    busy.setMessage1(message);
    showBusyIgnoringErrors(busy);
}

void hideBusyIgnoringErrors(TMovBusy &busy)
{
    try {
        busy.Hide();
    } catch (const std::exception &) {}
}

} // namespace movan
