#include "app/program.h"
#include "cli/command_line_entry.h"
#include "setup/frm_sql_setup.h"

int main(int argc, char **argv)
{
    if (movan::commandLineAsked(argc, argv))
        return movan::runCommandLine(argc, argv);
    return movan::runProgram(argc, argv, [] { return new movan::TFrmSQLSetup(); });
}
