#pragma once

#include <QtCore/QString>
#include <QtGui/QFont>
