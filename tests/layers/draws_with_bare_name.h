#pragma once

#include <QString>
#include <QLabel>
