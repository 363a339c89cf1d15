#pragma once
// The result of a modal run, carried by buttons and set on their window.
#include <cstdint>

namespace qv {

using TModalResult = int32_t;
constexpr TModalResult resNone = 0;
constexpr TModalResult resOK = 1;
constexpr TModalResult resCancel = 2;
constexpr TModalResult resAbort = 3;
constexpr TModalResult resRetry = 4;
constexpr TModalResult resIgnore = 5;
constexpr TModalResult resYes = 6;
constexpr TModalResult resNo = 7;
constexpr TModalResult resAll = 8;
constexpr TModalResult resNoToAll = 9;
constexpr TModalResult resYesToAll = 10;

}  // namespace qv
