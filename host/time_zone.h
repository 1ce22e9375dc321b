// The process's time zone, named once. With TZ unset, glibc looks at the
// zone file again on every mktime and localtime (a stat of /etc/localtime
// each time), and libzip calls mktime for every entry while it opens an
// archive: opening one of 100,000 entries makes 100,000 stat calls. Pinning
// emulates a real host's speed; it is no host obligation.
#ifndef CVXHOST_TIME_ZONE_H
#define CVXHOST_TIME_ZONE_H

namespace cvx {

// When TZ is unset and the system's zone file can be read, sets TZ to that
// same file (":/etc/localtime"), so local times stay exactly what they were
// while the zone is read only once. A TZ that is set is left alone. Scripts
// and child processes see the variable.
void PinLocalTimeZone();

}  // namespace cvx

#endif
