#pragma once

#include "toolchain/buildrecords.h"

#include <memory>
#include <vector>

// One file of a project's build tree: a source (a leaf) or the file a build step makes from
// its inputs.
struct BuildNode
{
    QString file;
    BuildNode *parent = nullptr;
    const BuildStepNode *step = nullptr; // null for a source leaf
    std::vector<std::unique_ptr<BuildNode>> inputs;
    QList<OptionSetting> options;

    bool isLeaf() const { return step == nullptr; }
    BuildProcess *process() const { return step ? step->process : nullptr; }
    QString tool() const;

    std::unique_ptr<BuildNode> clone(BuildNode *newParent = nullptr) const;
    // Every node of the tree below and including this one, depth first, a node before its
    // inputs.
    void collect(std::vector<BuildNode *> &nodes);
};

// Whether a build step, or a step below it, takes sources of a suffix (in lower case).
bool leadsTo(const BuildStepNode *step, const QString &suffix);
