#pragma once
// Language switching over Qt widgets. Every translatable widget carries the
// German text id in its dynamic property "Tag" (tooltips in "ToolTipText");
// ApplyLanguage replaces the captions with the texts of the current language.
#include <QString>

class QObject;
class QWidget;

namespace modLanguage {

// Text of German id `id` in the current language, as a QString.
QString Text(int id);

// Marks `object` as translatable with the German text id `id` (its "Tag").
void SetTag(QObject* object, int id);

// Sets the title of `window` from its own "Tag" and the captions of all its
// controls from theirs:
//  - labels, buttons, check boxes, option buttons: text
//  - group boxes (frames): title
//  - tab widgets: each tab's text from the tab widget's "TabTags" list (or,
//    where that has no number, from the page's own "Tag"); each tab's tooltip
//    from "TabToolTips" (or the page's "ToolTipText")
//  - tree and table views: column headers from the "HeaderTags" list
//  - menus: title; actions (menu items, tool buttons): text
//  - any control: tooltip from "ToolTipText"
// A Tag that is not a positive whole number, or a control without a caption,
// leaves that text unchanged. Windows owned by `window` (other dialogs) are
// not touched; each applies its own texts when it loads.
// Also carries Qt's own texts along (ApplyQtLanguage), so every language
// switch, which re-applies the texts, switches them too.
void ApplyLanguage(QWidget* window);

// Qt's own texts (the buttons of message boxes, the file and print dialogs)
// in the program's language: German installs Qt's German translations
// (qtbase_de.qm from Qt's translations folder), English removes them. Does
// nothing while the language is the one already applied. Returns whether
// Qt's texts are now in the program's language (false when German is wanted
// and no translation file is found; Qt then stays English).
bool ApplyQtLanguage();

// Folder searched for Qt's translations; empty means Qt's own
// (QLibraryInfo::TranslationsPath). The next ApplyQtLanguage loads anew.
void SetQtTranslationsFolder(const QString& folder);

}  // namespace modLanguage
