#pragma once

// An engine over a catalogue in a temporary folder, driven directly.

#include "engine_interface/engine.h"
#include "recording_sink.h"
#include "storage/catalogue.h"

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
            for (const auto &name : databases) {
                DatabaseInfo db;
                db.name = name;
                db.files.push_back(
                    {1, DatabaseFileType::Data, name + "_Data", "/data/" + name + ".mdf", 256, -1, 10, true});
                db.files.push_back(
                    {2, DatabaseFileType::Log, name + "_log", "/data/" + name + "_log.ldf", 128, -1, 10, true});
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
