#pragma once

#include "platform/app_error.h"

namespace movan {

// The failures of the persistence framework, with the English texts users
// of the sibling programs already see for them.

// Assign between classes that do not know each other.
class EConvertError : public AppError {
public:
    using AppError::AppError;
    static EConvertError cannotAssign(const QString &sourceClass, const QString &targetClass)
    {
        return EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(sourceClass, targetClass));
    }
};

// A stream ended before the announced number of bytes could be read, or a
// stored form holds something the reader does not understand.
class EReadError : public AppError {
public:
    using AppError::AppError;
    static EReadError streamRead() { return EReadError(QStringLiteral("Stream read error")); }
};

// A file that was to be written could not be created.
class EFCreateError : public AppError {
public:
    using AppError::AppError;
    static EFCreateError cannotCreate(const QString &fileName, const QString &reason)
    {
        return EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason));
    }
};

} // namespace movan
