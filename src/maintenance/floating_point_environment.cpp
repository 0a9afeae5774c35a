#include "maintenance/floating_point_environment.h"

#if defined(__SSE2_MATH__)
#include <xmmintrin.h>
#endif

namespace calvera::maintenance {

// <cfenv> is not enough here: mingw-w64's fesetenv restores the x87 alone and leaves MXCSR,
// which does every double's arithmetic on x86-64, as it finds it. The switches stay out of
// line, so that the compiler, which assumes one mode throughout, moves no arithmetic of the
// caller across them.
#if defined(__SSE2_MATH__)

namespace {
// Every exception masked (bits 7 to 12), round to nearest, no flush to zero, no flags.
constexpr unsigned int kDefaultMxcsr = 0x1F80;
}  // namespace

ScopedDefaultFloatingPoint::ScopedDefaultFloatingPoint() noexcept : caller_(_mm_getcsr()) {
  _mm_setcsr(kDefaultMxcsr);
}

ScopedDefaultFloatingPoint::~ScopedDefaultFloatingPoint() {
  _mm_setcsr(caller_);
}

#elif defined(__i386__)

namespace {
// Every exception masked, a double's 53-bit precision, round to nearest: the value Windows
// starts a thread with, in which the x87 computes a double as the SSE unit does.
const unsigned short kDefaultControlWord = 0x027F;
}  // namespace

ScopedDefaultFloatingPoint::ScopedDefaultFloatingPoint() noexcept {
  unsigned short controlWord = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(controlWord));
  caller_ = controlWord;
  __asm__ __volatile__("fldcw %0" : : "m"(kDefaultControlWord));
}

ScopedDefaultFloatingPoint::~ScopedDefaultFloatingPoint() {
  const auto controlWord = static_cast<unsigned short>(caller_);
  __asm__ __volatile__("fldcw %0" : : "m"(controlWord));
}

#else

ScopedDefaultFloatingPoint::ScopedDefaultFloatingPoint() noexcept
    : saved_(std::fegetenv(&caller_) == 0) {
  static_cast<void>(std::fesetenv(FE_DFL_ENV));
}

ScopedDefaultFloatingPoint::~ScopedDefaultFloatingPoint() {
  if (saved_)
    static_cast<void>(std::fesetenv(&caller_));
}

#endif

}  // namespace calvera::maintenance
