#pragma once

// Backup and restore through the maintenance window: dialogs answered with a
// chosen file, databases the restore can take (logical files Data_Data and
// Data_log), the server's trace and the sibling programs as real processes.

#include "maintenance_window_fixture.h"
#include "platform/executable_path.h"
#include "widgets/edit/lookup_list_source.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include "support/modal_dialog_driver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

class BackupRestoreTest : public MaintenanceWindowTest {
public:
    static inline const QString kBackupDone = QStringLiteral("عمليات پشتيبان گيري با موفقيت انجام شد.");

    // The window's notice after a backup the server wrote and then read back
    // whole: the fixed text first, then the verdict.
    static bool backedUpAndVerified(const QString &told)
    {
        return told.startsWith(kBackupDone) && told.contains(QStringLiteral("تا پایان خواند و سالم یافت"));
    }

    // The folder beside the executable where the restore places its files.
    static QString restoreFolder() { return executableDirectory() + QStringLiteral("Data"); }

    void SetUp() override
    {
        MaintenanceWindowTest::SetUp();
        QFile::remove(executableDirectory() + QStringLiteral("RestoreJournal.json"));
        QDir(restoreFolder()).removeRecursively();
        QDir().mkpath(restoreFolder());
    }
    void TearDown() override
    {
        for (auto &program : m_siblings) {
            program->kill();
            program->waitForFinished();
        }
        for (const char *record : {"Create.txt", "Restore.txt", "RestoreJournal.json"})
            QFile::remove(executableDirectory() + QLatin1String(record));
        QDir(restoreFolder()).removeRecursively();
        MaintenanceWindowTest::TearDown();
    }

    // A database with the logical files a restore expects, its files in the
    // server's data folder, of that many megabytes (0: sqlemu's default).
    static void makeRestorable(const QString &name, int megabytes = 0)
    {
        static int made = 0;
        const QString stem = QStringLiteral("restorable%1").arg(++made);
        makeDatabase(name, s_data->filePath(stem + QStringLiteral(".mdf")),
                     s_data->filePath(stem + QStringLiteral("_log.ldf")), QStringLiteral("Data_Data"),
                     QStringLiteral("Data_log"), megabytes);
    }

    // A database attached from new files at those paths, with those logical
    // file names and that many megabytes of data (0: sqlemu's default).
    static void makeDatabase(const QString &name, const QString &data, const QString &log,
                             const QString &logicalData = QStringLiteral("Data_Data"),
                             const QString &logicalLog = QStringLiteral("Data_log"), int megabytes = 0)
    {
        QStringList arguments
            = {QStringLiteral("--make-database"), name,      QStringLiteral("--data"),         data,
               QStringLiteral("--log"),           log,       QStringLiteral("--logical-data"), logicalData,
               QStringLiteral("--logical-log"),   logicalLog};
        if (megabytes > 0)
            arguments << QStringLiteral("--size") << QString::number(megabytes);
        QProcess make;
        make.start(QString::fromStdString(builtExecutable("sqlemu")), arguments);
        ASSERT_TRUE(make.waitForFinished(60000));
        ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
        giveToServerAccount(data);
        giveToServerAccount(log);
        runAsSa(QStringLiteral("USE master CREATE DATABASE [%1] ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
                    .arg(QString(name).replace(u']', QStringLiteral("]]")), data, log));
    }

    static void runAsSa(const QString &sql)
    {
        DbCommand command;
        command.setConnectionString(saConnectionString());
        command.setCommandText(sql);
        ASSERT_NO_THROW(command.execute()) << sql.toStdString();
    }

    // One column of a query run as sa, row by row.
    static QStringList columnAsSa(const QString &sql, const QString &column)
    {
        DbQuery query;
        query.setConnectionString(saConnectionString());
        query.setParamCheck(false);
        query.setSqlText(sql);
        QStringList values;
        try {
            query.open();
            for (query.first(); !query.eof(); query.next())
                values.append(query.fieldByName(column));
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what();
        }
        return values;
    }

    static QString dataFileOf(const QString &database)
    {
        const QStringList files
            = columnAsSa(QStringLiteral("SELECT filename FROM master.dbo.sysdatabases WHERE name = N'%1'")
                             .arg(QString(database).replace(u'\'', QStringLiteral("''"))),
                         QStringLiteral("filename"));
        return files.isEmpty() ? QString() : QString(files.front()).replace(u'\\', u'/');
    }

    // sysdatabases.status of the database, or nothing when it is not listed.
    static std::optional<int> databaseStatus(const QString &database)
    {
        const QStringList status
            = columnAsSa(QStringLiteral("SELECT status FROM master.dbo.sysdatabases WHERE name = N'%1'")
                             .arg(QString(database).replace(u'\'', QStringLiteral("''"))),
                         QStringLiteral("status"));
        if (status.isEmpty())
            return std::nullopt;
        return status.front().toInt();
    }
    // Listed, and neither restoring (0x20), suspect (0x100) nor offline
    // (0x200).
    static bool listedAndOnline(const QString &database)
    {
        const std::optional<int> status = databaseStatus(database);
        return status && (*status & (0x20 | 0x100 | 0x200)) == 0;
    }

    static QByteArray fileHash(const QString &path)
    {
        return QCryptographicHash::hash(contents(path), QCryptographicHash::Sha256).toHex();
    }

    // The hashes of a database's two files, by the server's paths.
    static QStringList databaseFileHashes(const QString &database)
    {
        QStringList hashes;
        const QStringList files = columnAsSa(QStringLiteral("SELECT filename FROM [%1].dbo.sysfiles")
                                                 .arg(QString(database).replace(u']', QStringLiteral("]]"))),
                                             QStringLiteral("filename"));
        for (QString file : files) {
            file.replace(u'\\', u'/');
            hashes.append(file + u' ' + QString::fromLatin1(fileHash(file)));
        }
        return hashes;
    }

    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Answers a file dialog with the path.
    static void chooseFile(ModalDialogDriver &driver, const QString &path)
    {
        driver.handle([path](QWidget *modal) { chooseFileNow(modal, path); });
    }
    static void chooseFileNow(QWidget *modal, const QString &path)
    {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        // As a user would: the folder, then the name typed in.
        dialog->setDirectory(QFileInfo(path).absolutePath());
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QFileInfo(path).fileName());
        static_cast<QDialog *>(dialog)->accept();
    }

    static inline const QString kYes = QStringLiteral("بلي");
    static inline const QString kNo = QStringLiteral("خير");

    // Clicks the restore button with the target chosen and answers the
    // warning, the file dialog and the question with Yes, and the closing
    // message with Enter.
    static void clickRestore(TFrmDBTools &w, const QString &target, const QString &file, ModalDialogDriver &driver)
    {
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(target));
        ASSERT_EQ(w.DBLDBBackup->Text(), target);
        driver.pressButton(kYes);
        chooseFile(driver, file);
        driver.pressButton(kYes);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
    }

    // Starts a restore over the database that the test means to meet something
    // left behind (a journal, a copy): the warning answered, the file chosen,
    // and whatever follows answered by the test's own responder; returns once
    // the window is closed again.
    static void restoreMeetingLeftovers(const QString &target, const QString &file)
    {
        ModalDialogDriver driver;
        withWindow([&](TFrmDBTools &w) {
            driver.ignoreWindow(&w);
            w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(target));
            driver.pressButton(kYes);
            chooseFile(driver, file);
            QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        });
        EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
    }

    // The same for a restore refused before its question: the refusal is
    // answered with Enter.
    static void clickRefusedRestore(TFrmDBTools &w, const QString &target, const QString &file,
                                    ModalDialogDriver &driver)
    {
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(target));
        ASSERT_EQ(w.DBLDBBackup->Text(), target);
        driver.pressButton(kYes);
        chooseFile(driver, file);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
    }

    // Backs the database up through the window's button into the file.
    static void backUp(TFrmDBTools &w, const QString &database, const QString &path, ModalDialogDriver &driver)
    {
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(database));
        chooseFile(driver, path);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn4, Qt::LeftButton);
    }

    // The batches and calls the server received from the entry on.
    static QStringList receivedSince(qsizetype from)
    {
        QStringList texts;
        const std::vector<std::string> lines = s_server->traceLines();
        for (std::size_t i = std::size_t(from); i < lines.size(); ++i) {
            const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(lines[i])).object();
            const QString kind = entry.value(QStringLiteral("kind")).toString();
            if (kind == QLatin1String("batch")) {
                texts.append(entry.value(QStringLiteral("text")).toString());
            } else if (kind == QLatin1String("rpc")) {
                // A statement sent with parameters, as the statement it runs.
                QString statement = entry.value(QStringLiteral("procedure")).toString();
                for (const QJsonValue parameter : entry.value(QStringLiteral("parameters")).toArray())
                    if (parameter.toObject().value(QStringLiteral("name")).toString() == QLatin1String("@statement"))
                        statement = parameter.toObject().value(QStringLiteral("value")).toString();
                texts.append(statement);
            }
        }
        return texts;
    }
    static qsizetype received() { return qsizetype(s_server->traceLines().size()); }

    // A running program whose executable is called name, as the process
    // table shows it.
    QProcess &startSibling(const QString &name)
    {
        const QString link = m_siblingFolder.filePath(name);
        QFile::link(QStringLiteral("/bin/sleep"), link);
        auto program = std::make_unique<QProcess>();
        program->start(link, {QStringLiteral("600")});
        EXPECT_TRUE(program->waitForStarted());
        m_siblings.push_back(std::move(program));
        return *m_siblings.back();
    }

    static bool ended(QProcess &program)
    {
        return program.state() == QProcess::NotRunning || program.waitForFinished(5000);
    }

private:
    QTemporaryDir m_siblingFolder;
    std::vector<std::unique_ptr<QProcess>> m_siblings;
};

// A test run in a child process the parent test starts, against the
// parent's server: it neither starts nor stops one, nor cleans the folder
// the parent watches.
class BackupRestoreChild : public BackupRestoreTest {
public:
    static void SetUpTestSuite() { TFrmDBTools::registerClass(); }
    static void TearDownTestSuite() {}
    void SetUp() override {}
    void TearDown() override {}
};
