// Automation objects (IDispatch) of other makers, reached by their names.
//
// Such objects are apartment-threaded and many need a message pump, while
// the host may call from a thread with any COM set-up or none, a different
// one each time. So the library keeps one thread of its own that enters a
// single-threaded apartment, pumps messages while it waits, creates the
// objects and runs every call made on them; the caller waits for the answer
// with a bound. The thread starts with the first object and ends after the
// last one is gone (it keeps the module loaded while it runs,
// module_thread.h). When the module is being unloaded, objects left are not
// released: at the end of a process their apartment is gone already.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::platform {

// One argument or result of an automation call.
struct AutomationValue {
  enum class Type { Empty, Int, Bool, Currency, Text };

  static AutomationValue Int(int32_t aValue, bool aByRef = false);
  static AutomationValue Bool(bool aValue);
  // Ten-thousandths, as the automation currency type counts them.
  static AutomationValue Currency(int64_t aValue);
  static AutomationValue Text(std::string aValue, bool aByRef = false);

  // The value as the caller expects it; a value of another type raises an
  // Error naming aWhat.
  int32_t AsInt(const std::string& aWhat) const;
  bool AsBool(const std::string& aWhat) const;
  const std::string& AsText(const std::string& aWhat) const;

  Type type = Type::Empty;
  int32_t intValue = 0;
  bool boolValue = false;
  int64_t currencyValue = 0;
  std::string textValue;
  // Passed by reference: after the call the argument holds what the callee
  // left in it.
  bool byRef = false;
};

// HRESULTs of the creation that callers explain in their own words.
inline constexpr int kHresultClassNotRegistered = static_cast<int>(0x80040154);  // REGDB_E_CLASSNOTREG
inline constexpr int kHresultServerExecFailure = static_cast<int>(0x80080005);   // CO_E_SERVER_EXEC_FAILURE

// Whether this system has automation at all.
bool AutomationAvailable();

// Whether aClassId ("{...}") is registered for programs of the other bitness
// only (32-bit ones when this module is 64-bit, and the reverse).
bool ClassRegisteredForOtherBitnessOnly(const std::string& aClassId);

// "0x80040154": an HRESULT as it is usually written.
std::string HresultText(int aHresult);

class AutomationObject {
 public:
  // Creates the object of class aClassId ("{...}") in the library's
  // apartment, or, when that class is not registered, the one that aProgId
  // names. Raises an OsError with the HRESULT of the class id's attempt when
  // neither can be created; an Error when the apartment does not answer
  // within aMaxMs.
  AutomationObject(const std::string& aClassId, const std::string& aProgId, int aMaxMs);
  // Releases the object in its apartment, waiting at most the bound given at
  // creation; the apartment's thread ends after its last object.
  ~AutomationObject();
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  // Calls the method aName with aArgs (in the order of its declaration);
  // arguments passed by reference come back changed. Raises an Error with the
  // object's own text when it raises an automation exception, an OsError with
  // the HRESULT when the call fails otherwise, and an Error when no answer
  // comes within aMaxMs.
  AutomationValue Call(const std::string& aName, std::vector<AutomationValue>& aArgs, int aMaxMs);
  AutomationValue Get(const std::string& aName, int aMaxMs);
  void Put(const std::string& aName, const AutomationValue& aValue, int aMaxMs);

 private:
  struct System;
  std::shared_ptr<System> fSystem;
};

}  // namespace korvane::platform
