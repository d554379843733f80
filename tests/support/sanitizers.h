#pragma once

// A process built with the address sanitizer holds shadow memory and a
// quarantine of freed blocks beside its own: its resident size then says
// nothing about what the code itself keeps, and tests of it look away.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentSizeIsMeaningful = false;
#else
inline constexpr bool kResidentSizeIsMeaningful = true;
#endif
