#pragma once
// A control's Tag slot at -1 (its change handling suppressed) for the life of the guard and 0
// again after it, however the scope ends: an error on the way must not leave the list deaf.
class TSuppressed {
public:
    explicit TSuppressed(int& tag) : Tag(tag) { Tag = -1; }
    ~TSuppressed() { Tag = 0; }
    TSuppressed(const TSuppressed&) = delete;
    TSuppressed& operator=(const TSuppressed&) = delete;

private:
    int& Tag;
};
