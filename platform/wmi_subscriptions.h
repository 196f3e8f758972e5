// WMI's permanent event subscriptions (the root\subscription namespace):
// each binding of an event filter to a consumer, with the three objects'
// own properties, an object deleted, and one put back from its properties.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"

// One property of an object, with a value (a property that is null is not
// listed).
struct WmiProperty {
  Text name;
  // The CIM type as WMI gives it (CIM_STRING 8, CIM_UINT32 19, CIM_BOOLEAN
  // 11, CIM_REFERENCE 102, ...), never an array type.
  std::uint32_t cim_type = 0;
  // Texts as they are (a reference is the path it names), integers in
  // decimal, a boolean "TRUE" or "FALSE".
  Text value;
};

struct WmiObject {
  Text class_name;  // "__EventFilter", "CommandLineEventConsumer", ...
  Text path;        // the relative path WMI names it by (__RELPATH)
  // The properties of the class and not WMI's own ("__" ones), in the
  // class's order; the creator's SID, which WMI sets itself, is left out.
  std::vector<WmiProperty> properties;
  // False when a property could not be read, or held what this list cannot
  // give back as it was (an array; a text with characters the ANSI code
  // page lacks): the object may be shown, never deleted.
  bool exact = true;

  // The value of the named property, or nullptr.
  const Text* Value(const char* name) const;
};

struct WmiSubscription {
  WmiObject binding;   // a __FilterToConsumerBinding
  WmiObject filter;    // the __EventFilter it names; no class_name when gone
  WmiObject consumer;  // the consumer it names; no class_name when gone
};

enum class WmiListing {
  kListed,
  kNoInterface,   // the system gives no WMI locator
  kNotConnected,  // it does, but root\subscription does not connect or list
};

// The calling thread must hold a ScopedComInitializer (platform/com_scope.h).
class WmiSubscriptions {
 public:
  virtual ~WmiSubscriptions() = default;

  // Every binding in root\subscription with the filter and the consumer it
  // names; `subscriptions` is filled only when the result is kListed.
  virtual WmiListing ListSubscriptions(std::vector<WmiSubscription>* subscriptions) = 0;
  // Whether there is an object at `path`; nullopt when WMI cannot be asked.
  virtual std::optional<bool> Exists(const Text& path) = 0;
  // True once the object at `path` is deleted.
  virtual bool Delete(const Text& path) = 0;
  // Makes an instance of `object.class_name` with `object.properties`,
  // where no object of its path is; true once it is there.
  virtual bool Create(const WmiObject& object) = 0;
};
