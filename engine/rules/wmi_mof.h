// WMI subscriptions written as MOF, the text mofcomp compiles: what a
// restore bundle keeps for a person to put one back by hand.
#pragma once

#include "platform/wmi_subscriptions.h"

// The subscriptions' filters, consumers and bindings as MOF instances in
// root\subscription, each object once, a binding after the objects it
// names. CR LF lines.
Text MofOfSubscriptions(const std::vector<WmiSubscription>& subscriptions);
