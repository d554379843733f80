#include "ui/qt_translations.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace movan {

namespace {

const QString kCatalogue = QStringLiteral("qtbase_fa");

} // namespace

bool installQtPersianTranslations()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    auto *translator = new QTranslator(app);
    const bool loaded = translator->load(kCatalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded)
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    // Set, not left to the catalogue: without it the standard dialogs would
    // still be Persian in spirit and right to left.
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    return loaded;
}

} // namespace movan
