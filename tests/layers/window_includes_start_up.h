#pragma once

#include "app/program.h"
#include "setup/frm_sql_setup.h"
