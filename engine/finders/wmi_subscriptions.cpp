#include "engine/finders/wmi_subscriptions.h"

#include "engine/rules/reapply_rules.h"
#include "engine/rules/wmi_mof.h"

namespace {

const char kWhen[] = "事件触发时";
const char kCommandLineConsumer[] = "CommandLineEventConsumer";
const char kScriptConsumer[] = "ActiveScriptEventConsumer";
const char kBinding[] = "__FilterToConsumerBinding";

Text ValueOf(const WmiObject& object, const char* name) {
  const Text* value = object.Value(name);
  return value ? *value : Text();
}

// Why the consumer puts the hijack back: the command it runs, or its script
// (its text, else the file it names).
std::optional<Reapplies> WhyConsumerReapplies(FileSystem& files, const WmiObject& consumer,
                                              std::string_view user_address) {
  if (SameIgnoringAsciiCase(consumer.class_name, kCommandLineConsumer)) {
    Text command = ValueOf(consumer, "CommandLineTemplate");
    if (command.empty()) command = "\"" + ValueOf(consumer, "ExecutablePath") + "\"";
    return WhyCommandReapplies(files, command, user_address);
  }
  if (!SameIgnoringAsciiCase(consumer.class_name, kScriptConsumer)) return std::nullopt;
  const Text script = ValueOf(consumer, "ScriptText");
  if (script.empty()) {
    const Text file = ValueOf(consumer, "ScriptFileName");
    return file.empty() ? std::nullopt
                        : WhyCommandReapplies(files, "\"" + file + "\"", user_address);
  }
  const bool vbscript = SameIgnoringAsciiCase(ValueOf(consumer, "ScriptingEngine"), "VBScript");
  return WhyScriptReapplies(script, vbscript, "WMI " + consumer.path, user_address);
}

// A consumer found, with every subscription that binds it.
struct ConsumerItem {
  Text name;
  Reapplies why;
  std::vector<WmiSubscription> subscriptions;
};

ConsumerItem* ItemOf(std::vector<ConsumerItem>& items, const Text& path) {
  for (ConsumerItem& item : items) {
    if (SameIgnoringAsciiCase(item.subscriptions.front().consumer.path, path)) return &item;
  }
  return nullptr;
}

// The log lists consumers by name; few are ever found.
void AddInNameOrder(std::vector<ConsumerItem>& items, ConsumerItem item) {
  items.push_back(std::move(item));
  for (std::size_t at = items.size() - 1; at > 0 && items[at].name < items[at - 1].name; --at) {
    std::swap(items[at], items[at - 1]);
  }
}

bool Exact(const ConsumerItem& item) {
  for (const WmiSubscription& subscription : item.subscriptions) {
    if (!subscription.binding.exact || !subscription.consumer.exact || !subscription.filter.exact ||
        !RepairMayDeleteWmiObject(subscription.binding)) {
      return false;
    }
  }
  return RepairMayDeleteWmiObject(item.subscriptions.front().consumer);
}

Step ConsumerStep(ConsumerItem& item) {
  Step step;
  step.key = "WMI " + item.subscriptions.front().consumer.path;
  const Text shown = "WMI 事件订阅：" + item.name + "（" + ReapplyReason(kWhen, item.why) + "）";
  if (!Exact(item)) {
    step.check_lines.push_back(shown + "，无法删除：其设置无法原样记录");
    step.failed_line = shown + "，未删除：其设置无法原样记录";
    step.reports_failure = true;  // it keeps putting the hijack back
    return step;
  }
  SayRemoval(step, shown);
  // The bindings first: a consumer is deleted only once nothing names it.
  Text mof = MofOfSubscriptions(item.subscriptions);
  for (WmiSubscription& subscription : item.subscriptions) {
    Change change;
    change.kind = Change::Kind::kWmiObject;
    change.wmi_object = std::move(subscription.binding);
    if (step.changes.empty()) change.wmi_mof = std::move(mof);
    step.changes.push_back(std::move(change));
  }
  Change consumer;
  consumer.kind = Change::Kind::kWmiObject;
  consumer.wmi_object = std::move(item.subscriptions.front().consumer);
  step.changes.push_back(std::move(consumer));
  return step;
}

}  // namespace

void PlanWmiSubscriptions(PlanContext& context, Plan& plan) {
  WmiSubscriptions* wmi = context.machine.wmi;
  if (!wmi) return;
  std::vector<WmiSubscription> subscriptions;
  const WmiListing listing = wmi->ListSubscriptions(&subscriptions);
  if (listing != WmiListing::kListed) {
    plan.push_back(
        NotLookedAtStep("WMI 事件订阅", listing == WmiListing::kNoInterface
                                            ? "WMI 事件订阅：本系统没有 WMI 接口，事件订阅未检查"
                                            : "WMI 事件订阅：WMI 没有响应，事件订阅未检查"));
    return;
  }
  std::vector<ConsumerItem> items;
  for (WmiSubscription& subscription : subscriptions) {
    const WmiObject& consumer = subscription.consumer;
    if (consumer.class_name.empty()) continue;
    if (ConsumerItem* item = ItemOf(items, consumer.path)) {
      item->subscriptions.push_back(std::move(subscription));
      continue;
    }
    auto why = WhyConsumerReapplies(context.machine.files, consumer, context.address_utf8);
    if (!why) continue;
    Text name = ValueOf(consumer, "Name");
    if (name.empty()) name = consumer.path;
    ConsumerItem item{std::move(name), std::move(*why), {}};
    item.subscriptions.push_back(std::move(subscription));
    AddInNameOrder(items, std::move(item));
  }
  for (ConsumerItem& item : items) {
    AddPageOpened(item.why, context.pages_opened);
    plan.push_back(ConsumerStep(item));
  }
  // Reported or deleted, a consumer found puts the hijack back.
  if (!items.empty()) context.reapplier_found = true;
}

bool RepairMayDeleteWmiObject(const WmiObject& object) {
  for (unsigned char c : object.path) {
    if (c < 0x20) return false;
  }
  const Text prefix = object.class_name + ".";
  if (object.path.size() <= prefix.size() ||
      !SameIgnoringAsciiCase(object.path.substr(0, prefix.size()), prefix)) {
    return false;
  }
  if (SameIgnoringAsciiCase(object.class_name, kCommandLineConsumer) ||
      SameIgnoringAsciiCase(object.class_name, kScriptConsumer)) {
    return true;
  }
  // A binding names its consumer first in its path, as WMI writes it, the
  // namespace before a colon when the reference carries one.
  if (!SameIgnoringAsciiCase(object.class_name, kBinding)) return false;
  const Text key = "CONSUMER=\"";
  Text consumer = AsciiUpper(object.path.substr(prefix.size()));
  if (consumer.compare(0, key.size(), key) != 0) return false;
  consumer.erase(0, key.size());
  const std::size_t colon = consumer.find(':');
  if (colon != Text::npos && colon < consumer.find('=')) consumer.erase(0, colon + 1);
  for (const char* named : {kCommandLineConsumer, kScriptConsumer}) {
    const Text start = AsciiUpper(Text(named) + ".");
    if (consumer.compare(0, start.size(), start) == 0) return true;
  }
  return false;
}

const FinderPlaces kWmiPlaces = {
    .wmi_object = RepairMayDeleteWmiObject,
};
