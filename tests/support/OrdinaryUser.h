#pragma once
// Permission cases. Root ignores file permissions, so a test that needs an ordinary user's view
// of read-only files and folders runs itself again, alone, in a child process that drops to the
// user "nobody" before anything else; the parent reports the child's outcome.
#include <gtest/gtest.h>

enum class OrdinaryUserRun { Here, DoneInChild, Impossible };

// Here: this process already is an ordinary user, go on. DoneInChild: the test ran in a child.
OrdinaryUserRun RunAsOrdinaryUser();
// Called first by the test main: becomes "nobody" when this process is such a child.
void BecomeOrdinaryUserWhenAsked();

#define RUN_AS_ORDINARY_USER()                                                     \
    do {                                                                           \
        switch (RunAsOrdinaryUser()) {                                             \
        case OrdinaryUserRun::Here:                                                \
            break;                                                                 \
        case OrdinaryUserRun::DoneInChild:                                         \
            return;                                                                \
        case OrdinaryUserRun::Impossible:                                          \
            GTEST_SKIP() << "no unprivileged user to run as";                      \
        }                                                                          \
    } while (0)
