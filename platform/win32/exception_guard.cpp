// The fault guard on Windows: a vectored exception handler that takes
// access violations and illegal instructions raised on a thread inside
// RunGuarded, and sends that thread back to RunGuarded.
//
// The handler is registered only while some thread is inside a guarded
// region (so an unloaded DLL leaves no handler behind), and it looks at the
// faulting thread's own guard state, kept in a Win32 TLS slot: TlsGetValue
// neither allocates nor locks, which matters when the fault hit another
// thread in the middle of the heap. Any other exception, and any fault on a
// thread outside a guarded region, goes on to the host's handlers.
//
// Recovery does not unwind from inside the exception dispatcher. The
// handler redirects the faulting thread's context to Land(), on the
// faulting thread's stack below the faulting frame, and the dispatch ends
// normally. On 32-bit x86, Land() then unwinds the structured exception
// frames that Windows code registered inside the region (running their
// unwind handlers); x86_64 keeps no such chain on the stack (its handlers
// are found through tables), so there is nothing to unwind. Land() jumps
// back to RunGuarded with __builtin_longjmp, which restores only the frame
// and stack pointers: nothing of the C runtime's setjmp machinery is
// involved.
#include "platform/exception_guard.h"

#include <cstdint>
#include <mutex>

#include "platform/win32/windows_api.h"

#if !defined(__i386__) && !defined(__x86_64__)
#error "the Windows fault guard is written for x86 and x86_64"
#endif

#if defined(__i386__)

// RtlUnwind on x86 is not guaranteed to return with EBX, ESI and EDI intact
// (it resumes through a context it captured itself), so it is called through
// this wrapper, which keeps them and EBP as the compiler expects.
// void nc_UnwindFrames(void* targetFrame, void* rtlUnwind): cdecl.
extern "C" void nc_UnwindFrames(void* targetFrame, void* rtlUnwind);
asm(R"(
    .text
    .globl _nc_UnwindFrames
    .def _nc_UnwindFrames; .scl 2; .type 32; .endef
_nc_UnwindFrames:
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl %ebp
    movl 24(%esp), %eax
    pushl $0
    pushl $0
    pushl $1f
    pushl 32(%esp)
    call *%eax
1:
    popl %ebp
    popl %edi
    popl %esi
    popl %ebx
    ret
)");
#endif

namespace nc::platform {

namespace {

struct GuardState {
  void* jump[5];      // __builtin_setjmp buffer
  GuardState* outer;  // the enclosing region on this thread, if any
#if defined(__i386__)
  EXCEPTION_REGISTRATION_RECORD* frames;  // the SEH chain at entry
#endif
};

// Land() runs below the faulting stack pointer, so the frames above it
// (which hold the exception registrations Land() unwinds) stay intact; the
// gap is a margin for anything the faulting code kept just below it.
constexpr DWORD kLandingGap = 256;

class TlsSlot {
 public:
  TlsSlot() : index_(::TlsAlloc()) {}
  ~TlsSlot() {
    if (valid()) ::TlsFree(index_);
  }
  bool valid() const { return index_ != TLS_OUT_OF_INDEXES; }
  GuardState* Get() const {
    DWORD error = ::GetLastError();  // TlsGetValue resets the last error
    auto* state = static_cast<GuardState*>(::TlsGetValue(index_));
    ::SetLastError(error);
    return state;
  }
  void Set(GuardState* state) const { ::TlsSetValue(index_, state); }

 private:
  DWORD index_;
};

TlsSlot& Slot() {
  static TlsSlot slot;
  return slot;
}

#if defined(__i386__)
// The head of the thread's structured exception frame chain, NT_TIB's first
// field at FS:0 (read directly: the header's NtCurrentTeb() draws a false
// -Warray-bounds from GCC 12).
EXCEPTION_REGISTRATION_RECORD* CurrentFrames() {
  EXCEPTION_REGISTRATION_RECORD* frames;
  asm volatile("movl %%fs:0, %0" : "=r"(frames));
  return frames;
}

void SetCurrentFrames(EXCEPTION_REGISTRATION_RECORD* frames) {
  asm volatile("movl %0, %%fs:0" : : "r"(frames) : "memory");
}

#endif

[[noreturn]] void Land() {
  GuardState* state = Slot().Get();
#if defined(__i386__)
  EXCEPTION_REGISTRATION_RECORD* const end =
      reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(static_cast<std::intptr_t>(-1));
  if (CurrentFrames() != state->frames) {
    // Windows code inside the region registered frames of its own; unwind
    // them so their cleanup runs, as a frame-based handler would.
    if (state->frames != end) nc_UnwindFrames(state->frames, reinterpret_cast<void*>(&::RtlUnwind));
    SetCurrentFrames(state->frames);
  }
#endif
  __builtin_longjmp(state->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION &&
      record->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION)
    return EXCEPTION_CONTINUE_SEARCH;
  // A non-continuable raise cannot be redirected; it goes on unchanged.
  if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) return EXCEPTION_CONTINUE_SEARCH;
  if (Slot().Get() == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* context = info->ContextRecord;
  // Land() runs as if just called, with the stack aligned as at any call
  // (on x86_64 the 32-byte home area above the return slot lies inside the gap).
#if defined(__i386__)
  context->Esp = ((context->Esp - kLandingGap) & ~DWORD{15}) - 4;
  context->Eip = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&Land));
#else
  context->Rsp = ((context->Rsp - kLandingGap) & ~DWORD64{15}) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&Land);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

std::mutex g_mutex;
int g_users = 0;
void* g_handler = nullptr;

// Keeps the handler registered while at least one region is active.
class Registration {
 public:
  Registration() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_users++ == 0) g_handler = ::AddVectoredExceptionHandler(1, OnException);
  }
  ~Registration() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_users == 0 && g_handler != nullptr) {
      ::RemoveVectoredExceptionHandler(g_handler);
      g_handler = nullptr;
    }
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
};

}  // namespace

bool RunGuarded(GuardedWork work, void* context) {
  const TlsSlot& slot = Slot();
  if (!slot.valid()) {  // no TLS slot left: run unguarded rather than not at all
    work(context);
    return true;
  }
  DWORD error = ::GetLastError();
  Registration registration;
  GuardState state;
  state.outer = slot.Get();
#if defined(__i386__)
  state.frames = CurrentFrames();
#endif
  ::SetLastError(error);
  if (__builtin_setjmp(state.jump) != 0) {
    error = ::GetLastError();
    slot.Set(state.outer);
    ::SetLastError(error);
    return false;
  }
  slot.Set(&state);
  work(context);
  error = ::GetLastError();
  slot.Set(state.outer);
  ::SetLastError(error);
  return true;
}

}  // namespace nc::platform
