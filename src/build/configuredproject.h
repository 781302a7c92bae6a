#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class BuildProject;

// What the toolchain's dialogs change in a project: its build configurations, its description
// and keywords; and its saving.
class ConfiguredProject
{
public:
    virtual ~ConfiguredProject() = default;

    virtual QString name() const = 0;
    virtual int configurationCount() const = 0;
    virtual BuildProject *configuration(int index) const = 0;
    // The names of configurations the project file holds that are not used here (their
    // compiler is missing), which no other configuration may take.
    virtual QStringList unusedConfigurationNames() const { return {}; }
    // The project's configurations become these, in this order.
    virtual void replaceConfigurations(std::vector<std::unique_ptr<BuildProject>> configurations) = 0;
    virtual QString description() const = 0;
    virtual void setDescription(const QString &description) = 0;
    virtual QStringList keywords() const = 0;
    virtual void setKeywords(const QStringList &keywords) = 0;
    virtual void setModified(bool modified) = 0;
    virtual bool save() = 0;
    // Saves under a name the user gives: with copy, in a folder of its own with every file;
    // without, in place.
    virtual bool saveAs(bool copy) = 0;
};
