#pragma once

#include <QLabel>
#include <QString>
