#pragma once

#include "platform/app_error.h"

namespace movan {

// Raised when a component is asked for a state it cannot take, such as a
// range whose minimum lies above its maximum.
class EInvalidOperation : public AppError {
public:
    using AppError::AppError;
};

} // namespace movan
