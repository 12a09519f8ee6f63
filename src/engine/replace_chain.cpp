// engine: replace_chain
