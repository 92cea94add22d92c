#pragma once

// Hands the property dialogs and the items manager to the chart areas and drawings: once
// installed, "Свойства" of every item and "Менеджер объектов" of every window open them.
namespace DialogServices {
void install();
} // namespace DialogServices
