#pragma once
// Whether anyone can see the program: not when its window station is not visible (a service's
// or a distribution agent's) or when it runs in session 0. Decided at the first call, which the
// program makes at its start; later calls give the same answer. A query that fails counts as
// seen, so that a person is never left without a window they are waiting for.
//
// Where nobody can see it, no window waits for a person: a question gets the answer of Cancel
// or OK, and the run ends by itself.
bool SomeoneCanSee();
