#pragma once

// A test's random sequence of steps from a fixed seed. DYX_SEQUENCE_SEED and DYX_SEQUENCE_STEPS
// choose another or a longer one; a failure names the seed and the last step, and the whole
// story goes to the log.

#include <QRandomGenerator>
#include <QStringList>

class RandomSequence
{
public:
    RandomSequence(quint32 seed, int steps)
    {
        bool given = false;
        const int seedValue = qEnvironmentVariableIntValue("DYX_SEQUENCE_SEED", &given);
        m_seed = given ? quint32(seedValue) : seed;
        const int stepsValue = qEnvironmentVariableIntValue("DYX_SEQUENCE_STEPS", &given);
        m_steps = given ? stepsValue : steps;
        m_random.seed(m_seed);
    }

    int steps() const { return m_steps; }
    qsizetype done() const { return m_done.size(); }
    int bounded(int limit) { return m_random.bounded(limit); }
    // Of an empty list, an empty string; a number is drawn all the same, so that the steps
    // after it stay those of the seed.
    QString pick(const QStringList &from)
    {
        if (from.isEmpty()) {
            m_random.generate();
            return QString();
        }
        return from.at(bounded(int(from.size())));
    }
    // A step taken, in words.
    void took(const QString &step) { m_done.append(step); }

    QByteArray failure(const QString &what) const
    {
        qWarning("steps: %s", qPrintable(m_done.join(QStringLiteral("; "))));
        return QStringLiteral("seed %1, step %2 (%3): %4")
            .arg(m_seed)
            .arg(m_done.size())
            .arg(m_done.value(m_done.size() - 1), what)
            .toLocal8Bit();
    }

private:
    quint32 m_seed = 0;
    int m_steps = 0;
    QRandomGenerator m_random;
    QStringList m_done;
};

// Checks what a step left: a failure names the seed and the steps (the sequence is the
// caller's `sequence`, and what is only worked out when the check fails).
#define SEQUENCE_CHECK(condition, what) \
    do { \
        if (!(condition)) \
            QFAIL(sequence.failure(what).constData()); \
    } while (false)
