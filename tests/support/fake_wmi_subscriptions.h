// A stand-in for WMI's root\subscription: objects kept in memory by path,
// answering as WMI does (a binding made only when what it names is there),
// or saying it cannot be reached.
#pragma once

#include <map>

#include "platform/wmi_subscriptions.h"

class FakeWmiSubscriptions : public WmiSubscriptions {
 public:
  // How ListSubscriptions answers; any answer but kListed makes the others
  // fail too.
  WmiListing reach = WmiListing::kListed;
  std::map<Text, WmiObject> objects;  // by path
  int deletes = 0;

  static WmiProperty Str(const Text& name, const Text& value) { return {name, 8, value}; }
  static WmiProperty Reference(const Text& name, const Text& path) { return {name, 102, path}; }

  // A filter "<name>" on logon, bound to a consumer "<name>" of `consumer_class`
  // with `properties` (its Name added first); the consumer's path.
  Text AddSubscription(const Text& name, const Text& consumer_class,
                       std::vector<WmiProperty> properties) {
    WmiObject consumer;
    consumer.class_name = consumer_class;
    consumer.path = consumer_class + ".Name=\"" + name + "\"";
    consumer.properties.push_back(Str("Name", name));
    for (WmiProperty& property : properties) consumer.properties.push_back(std::move(property));
    objects[consumer.path] = consumer;
    Bind(AddFilter(name + "-filter"), consumer.path);
    return consumer.path;
  }
  Text AddFilter(const Text& name) {
    WmiObject filter;
    filter.class_name = "__EventFilter";
    filter.path = "__EventFilter.Name=\"" + name + "\"";
    filter.properties = {Str("EventNamespace", "root\\cimv2"), Str("Name", name),
                         Str("Query",
                             "SELECT * FROM __InstanceCreationEvent WITHIN 60 WHERE "
                             "TargetInstance ISA 'Win32_LogonSession'"),
                         Str("QueryLanguage", "WQL")};
    objects[filter.path] = filter;
    return filter.path;
  }
  // WMI writes a reference inside a path with its quotes escaped.
  static Text Escaped(const Text& path) {
    Text escaped;
    for (char c : path) escaped += c == '"' || c == '\\' ? Text("\\") + c : Text(1, c);
    return escaped;
  }
  Text Bind(const Text& filter, const Text& consumer) {
    WmiObject binding;
    binding.class_name = "__FilterToConsumerBinding";
    binding.path = "__FilterToConsumerBinding.Consumer=\"" + Escaped(consumer) + "\",Filter=\"" +
                   Escaped(filter) + "\"";
    binding.properties = {Reference("Consumer", consumer),
                          {"DeliverSynchronously", 11, "FALSE"},
                          Reference("Filter", filter),
                          {"SlowDownProviders", 11, "FALSE"}};
    objects[binding.path] = binding;
    return binding.path;
  }

  WmiListing ListSubscriptions(std::vector<WmiSubscription>* listed) override {
    if (reach != WmiListing::kListed) return reach;
    listed->clear();
    for (const auto& [path, object] : objects) {
      if (object.class_name != "__FilterToConsumerBinding") continue;
      WmiSubscription subscription;
      subscription.binding = object;
      subscription.filter = Found(*object.Value("Filter"));
      subscription.consumer = Found(*object.Value("Consumer"));
      listed->push_back(std::move(subscription));
    }
    return reach;
  }
  std::optional<bool> Exists(const Text& path) override {
    if (reach != WmiListing::kListed) return std::nullopt;
    return objects.count(path) > 0;
  }
  bool Delete(const Text& path) override {
    if (reach != WmiListing::kListed || !objects.erase(path)) return false;
    ++deletes;
    return true;
  }
  bool Create(const WmiObject& object) override {
    if (reach != WmiListing::kListed || objects.count(object.path)) return false;
    for (const WmiProperty& property : object.properties) {
      if (property.cim_type == 102 && !objects.count(property.value)) return false;
    }
    objects[object.path] = object;
    return true;
  }

 private:
  WmiObject Found(const Text& path) const {
    const auto found = objects.find(path);
    return found == objects.end() ? WmiObject() : found->second;
  }
};
