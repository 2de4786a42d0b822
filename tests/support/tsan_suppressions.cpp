// ThreadSanitizer's suppressions for every test program built with it. The standard
// library's own code is not instrumented: the reference counts of exception_ptr and of
// the standard exceptions' message strings are atomic there but invisible to the
// sanitizer, so an exception raised on the main thread, read by the waiting thread and
// freed by whichever lets go of it last looks like a race.
extern "C" const char* __tsan_default_suppressions() {
  return "race:std::__exception_ptr::exception_ptr::_M_release\n"
         "race:std::runtime_error::~runtime_error\n"
         "race:std::logic_error::~logic_error\n";
}
