// Adapters not yet written for Linux. Each is replaced by its own file.
// Every adapter has its own file now; this one can go.
