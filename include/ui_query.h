// The query string of an interface request, split into decoded name/value
// pairs with fixed bounds, so that what one request may ask for is limited
// before any of it is looked at.
#ifndef LRE_UI_QUERY_H
#define LRE_UI_QUERY_H

enum {
    query_max_pairs = 48,
    query_max_name = 48,
    query_max_value = 96,
    query_max_raw = 4096,
};

struct query_pair {
    char name[query_max_name];
    char value[query_max_value];
};

struct query_params {
    int count;
    query_pair pairs[query_max_pairs];
};

// Splits a raw query ("a=1&b=2", without the '?') into *params: each part
// must be NAME=VALUE with a non-empty name made of lower-case letters, digits
// and '-'; '%XX' escapes and '+' are decoded in values. Returns 1, or 0 with a
// message naming the part at fault in error_buffer.
int parse_query(const char *raw, query_params *params, char *error_buffer, int error_size);

// The value of the last pair with this name, or null; the last one wins, as
// on the command line.
const char *query_value(const query_params *params, const char *name);

// The number of pairs with this name.
int query_count(const query_params *params, const char *name);

#endif
