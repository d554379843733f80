#include "ui/failure_notice.h"

#include "ui/failure_text.h"

namespace movan {

int ShowFailureNotice(const QString &caption, const QString &fixedText, const std::exception &error, quint16 buttons,
                      quint8 kind)
{
    const FailureNotice notice = failureNotice(fixedText, error);
    return ShowMessageDialogWithDetails(caption, notice.message, notice.details, buttons, kind);
}

int ShowFailureNotice(const QString &caption, const QString &fixedText, const std::exception_ptr &error,
                      quint16 buttons, quint8 kind)
{
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &failure) {
            return ShowFailureNotice(caption, fixedText, failure, buttons, kind);
        } catch (...) {
            // Not one of ours: the fixed text is all there is to say.
        }
    }
    return ShowMessageDialog(caption, fixedText, buttons, kind);
}

} // namespace movan
