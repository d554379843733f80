#pragma once

#include <functional>

class QObject;

namespace movan {

// A notification handler, called with the object that raised it. Every
// component's plain events (OnChange, OnEnter, OnCancel, ...) take this type,
// so one handler can serve several of them.
using NotifyEvent = std::function<void(QObject *sender)>;

} // namespace movan
