#pragma once

#include "setup/frm_sql_setup.h"
#include "app/program.h"
