// engine: decoder
