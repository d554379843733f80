#pragma once

// An engine over a catalogue in a temporary folder, driven directly.

#include "engine_interface/engine.h"
#include "recording_sink.h"
#include "storage/catalogue.h"
#include "storage/database_file.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sqlemu::test {

class EngineTest : public ::testing::Test {
protected:
    // Starts the engine, after putting these user databases in its catalogue.
    void start(const std::string &version = "9.0", const std::vector<std::string> &databases = {})
    {
        config.instanceName = "MSSQLSERVER";
        config.serverName = "HOST1";
        config.dataDir = (folder.path() / "MSSQLSERVER").string();
        config.serverVersion = version;
        {
            auto catalogue = Catalogue::open(config.dataDir, 90);
            // Whole files: a database whose files are missing is suspect
            // from the start, and refuses USE as a real server does.
            for (const auto &name : databases) {
                NewDatabaseFiles files;
                files.name = name;
                files.dataPath = folder.path() / (name + ".mdf");
                files.logPath = folder.path() / (name + "_log.ldf");
                files.dataSizeMegabytes = 1;
                DatabaseInfo db;
                db.name = name;
                db.files = createDatabaseFiles(files).catalogueFiles();
                catalogue->add(db);
            }
        }
        engine = createEngine(config);
        session.spid = 53;
        session.loginName = "sa";
        session.role = ServerRole::SysAdmin;
        session.currentDatabase = "master";
    }

    RecordingSink run(const std::string &batch)
    {
        RecordingSink sink;
        engine->executeBatch(session, batch, sink);
        return sink;
    }

    RecordingSink rpc(const std::string &procedure, const std::vector<RpcParameter> &parameters)
    {
        RecordingSink sink;
        engine->executeRpc(session, procedure, parameters, sink);
        return sink;
    }

    static RpcParameter textParameter(const std::string &name, const std::string &value,
                                      SqlType type = SqlType::NVarChar)
    {
        RpcParameter p;
        p.name = name;
        p.type = type;
        p.maxLength = 4000;
        p.value = value;
        return p;
    }

    TempFolder folder;
    InstanceConfig config;
    std::unique_ptr<Engine> engine;
    SessionState session;
};

} // namespace sqlemu::test
