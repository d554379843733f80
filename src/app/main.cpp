#include "app/program.h"
#include "setup/frm_sql_setup.h"

int main(int argc, char **argv)
{
    return runProgram(argc, argv, [] { return new TFrmSQLSetup(); });
}
