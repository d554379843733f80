#include "app/program.h"
#include "setup/frm_sql_setup.h"

int main(int argc, char **argv)
{
    return movan::runProgram(argc, argv, [] { return new movan::TFrmSQLSetup(); });
}
