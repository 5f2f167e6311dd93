namespace varnak {}
