#include "buildnode.h"

#include "toolchain/buildprocess.h"

QString BuildNode::tool() const
{
    return step && step->process ? step->process->tool() : QString();
}

std::unique_ptr<BuildNode> BuildNode::clone(BuildNode *newParent) const
{
    auto copy = std::make_unique<BuildNode>();
    copy->file = file;
    copy->parent = newParent;
    copy->step = step;
    copy->options = options;
    for (const auto &input : inputs)
        copy->inputs.push_back(input->clone(copy.get()));
    return copy;
}

void BuildNode::collect(std::vector<BuildNode *> &nodes)
{
    nodes.push_back(this);
    for (const auto &input : inputs)
        input->collect(nodes);
}
