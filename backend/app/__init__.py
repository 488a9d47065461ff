"""Stand-in for the Quorvia local backend: the contract the agent relies on, small and real."""
