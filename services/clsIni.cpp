#include "clsIni.h"

clsIni::clsIni() = default;
void clsIni::Filename(const std::string& name) { m_Filename = name; }
int clsIni::GetSetting(const std::string&, const std::string&, int Default, bool) const { return Default; }
double clsIni::GetSetting(const std::string&, const std::string&, double Default, bool) const { return Default; }
std::string clsIni::GetSetting(const std::string&, const std::string&, const std::string& Default, bool) const {
    return Default;
}
std::string clsIni::GetSection(const std::string&) const { return {}; }
std::string clsIni::GetSectionNames() const { return {}; }
bool clsIni::WriteSetting(const std::string&, const std::string&, const std::string&, bool) { return false; }
