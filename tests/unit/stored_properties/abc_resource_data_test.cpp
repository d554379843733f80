#include "stored_properties/abc_avi_source.h"
#include "stored_properties/persistent_errors.h"

#include "support/compiled_resources.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

namespace {

struct EventLog {
    int changing = 0;
    int change = 0;
    void attach(TabcResourceData &holder)
    {
        holder.OnChanging = [this](QObject *) { ++changing; };
        holder.OnChange = [this](QObject *) { ++change; };
    }
};

} // namespace

TEST(ResourceData, SettingASourceClearsTheOthersButNotModuleAndType)
{
    TabcResourceData holder;
    holder.Data()->SetBuffer("abc", 3);
    holder.setResourceModule(QStringLiteral("lib.so"));
    holder.setResourceType(QStringLiteral("AVI"));
    holder.setResourceName(QStringLiteral("clip"));
    EXPECT_TRUE(holder.Data()->IsEmpty());
    holder.setFileName(QStringLiteral("a.avi"));
    EXPECT_TRUE(holder.ResourceName().isEmpty());
    holder.setResourceID(7);
    EXPECT_TRUE(holder.FileName().isEmpty());
    EXPECT_EQ(holder.ResourceModule(), QStringLiteral("lib.so"));
    EXPECT_EQ(holder.ResourceType(), QStringLiteral("AVI"));
    EXPECT_TRUE(holder.IsResource());

    TabcPersistentMemory block;
    block.SetBuffer("xy", 2);
    holder.setData(&block);
    EXPECT_EQ(holder.ResourceID(), 0);
    EXPECT_EQ(holder.Data()->bytes(), QByteArray("xy"));
    EXPECT_FALSE(holder.IsResource());
    EXPECT_FALSE(holder.IsEmpty());

    // The new source may be read from the one it replaces.
    holder.setResourceName(QStringLiteral("clip"));
    holder.setFileName(holder.ResourceName());
    EXPECT_EQ(holder.FileName(), QStringLiteral("clip"));
    EXPECT_TRUE(holder.ResourceName().isEmpty());
}

TEST(ResourceData, OnlyARealChangeFiresTheEventsOnce)
{
    TabcResourceData holder;
    EventLog log;
    log.attach(holder);
    holder.setFileName(QStringLiteral("a.avi"));
    holder.setFileName(QStringLiteral("a.avi"));
    EXPECT_EQ(log.changing, 1);
    EXPECT_EQ(log.change, 1);
    holder.setResourceID(0);
    holder.setResourceName(QString());
    holder.setData(holder.Data());
    EXPECT_EQ(log.change, 1);
}

TEST(ResourceData, AssignWithEmptyDataKeepsTheTargetsBytes)
{
    TabcResourceData source, target;
    target.Data()->SetBuffer("own", 3);
    source.setResourceModule(QStringLiteral("m.so"));
    source.setResourceName(QStringLiteral("name"));
    source.setResourceType(QStringLiteral("TYPE"));
    EventLog log;
    log.attach(target);
    target.Assign(&source);
    EXPECT_EQ(target.Data()->bytes(), QByteArray("own"));
    EXPECT_EQ(target.ResourceName(), QStringLiteral("name"));
    EXPECT_EQ(target.ResourceModule(), QStringLiteral("m.so"));
    EXPECT_TRUE(target.ResourceType().isEmpty());
    EXPECT_EQ(log.changing, 1);
    EXPECT_EQ(log.change, 1);

    source.Data()->SetBuffer("new", 3);
    target.Assign(&source);
    EXPECT_EQ(target.Data()->bytes(), QByteArray("new"));

    target.Assign(nullptr);
    EXPECT_TRUE(target.IsEmpty());

    TabcPersistentMemory unrelated;
    EXPECT_THROW(target.Assign(&unrelated), EConvertError);
}

TEST(ResourceData, TemporaryFileLivesUntilRewrittenOrDestroyed)
{
    QTemporaryDir dir;
    QString first = dir.filePath(QStringLiteral("first.avi"));
    QString second = dir.filePath(QStringLiteral("second.avi"));
    {
        TabcResourceData holder;
        QString none = dir.filePath(QStringLiteral("none.avi"));
        holder.WriteDataToFile(none);
        EXPECT_TRUE(none.isEmpty());
        EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.avi"))));

        holder.Data()->SetBuffer("clip", 4);
        holder.WriteDataToFile(first);
        EXPECT_EQ(holder.TempFileName(), first);
        QFile file(first);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("clip"));

        holder.WriteDataToFile(second);
        EXPECT_FALSE(QFile::exists(first));
        EXPECT_TRUE(QFile::exists(second));
    }
    EXPECT_FALSE(QFile::exists(second));
}

TEST(ResourceData, UnwritableTemporaryFileRaisesTheCreationError)
{
    QTemporaryDir dir;
    TabcResourceData holder;
    holder.Data()->SetBuffer("clip", 4);
    QString good = dir.filePath(QStringLiteral("good.avi"));
    holder.WriteDataToFile(good);
    QString bad = dir.filePath(QStringLiteral("no/such/folder.avi"));
    EXPECT_THROW(holder.WriteDataToFile(bad), EFCreateError);
    EXPECT_FALSE(QFile::exists(good));
    EXPECT_TRUE(holder.TempFileName().isEmpty());
}

TEST(ResourceData, ResourceLookupByNameAndIdUnderItsType)
{
    QTemporaryDir dir;
    QFile clip(dir.filePath(QStringLiteral("clip.bin")));
    ASSERT_TRUE(clip.open(QIODevice::WriteOnly));
    clip.write("RIFF");
    clip.close();
    CompiledResources resources(
        QStringLiteral("MYTYPE"),
        {{QStringLiteral("Spinner"), clip.fileName()}, {QStringLiteral("42"), clip.fileName()}});
    if (!resources.isRegistered())
        GTEST_SKIP() << "no resource compiler";

    TabcResourceData holder;
    EXPECT_TRUE(holder.ResourceHandle().isEmpty());
    holder.setResourceType(QStringLiteral("MYTYPE"));
    holder.setResourceName(QStringLiteral("Spinner"));
    EXPECT_EQ(holder.ResourceHandle(), QStringLiteral(":/MYTYPE/Spinner"));
    holder.setResourceID(42);
    EXPECT_EQ(holder.ResourceHandle(), QStringLiteral(":/MYTYPE/42"));
    holder.setResourceID(43);
    EXPECT_THROW(holder.ResourceHandle(), AppError);
}

TEST(ResourceData, ModuleThatCannotBeLoadedRaisesTheLoadersError)
{
    TabcResourceData holder;
    holder.setResourceModule(QStringLiteral("libno-such-module-here.so"));
    holder.setResourceName(QStringLiteral("clip"));
    try {
        holder.ResourceHandle();
        FAIL() << "a missing module loaded";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("libno-such-module-here"))) << error.what();
    }
}

TEST(AVISource, StandardAnimationIsASourceOfItsOwn)
{
    TabcAVISource source;
    EXPECT_TRUE(source.IsEmpty());
    int changes = 0;
    source.OnChange = [&](QObject *) { ++changes; };
    source.setCommonAVI(aviCopyFiles);
    source.setCommonAVI(aviCopyFiles);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(source.IsEmpty());
    source.setFileName(QStringLiteral("clip.avi"));
    EXPECT_EQ(source.CommonAVI(), aviNone);
    source.setCommonAVI(aviFindFile);
    EXPECT_TRUE(source.FileName().isEmpty());
    source.Clear();
    EXPECT_TRUE(source.IsEmpty());
}

TEST(AVISource, AssignCopiesTheStandardAnimationToo)
{
    TabcAVISource source, target;
    source.setCommonAVI(aviDeleteFile);
    target.Assign(&source);
    EXPECT_EQ(target.CommonAVI(), aviDeleteFile);
    EXPECT_FALSE(target.IsEmpty());
}
